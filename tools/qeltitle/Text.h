// Text conversions between the command line (UTF-8) and the library's UTF-16 interface.
#pragma once

#include <string>
#include <string_view>

namespace qeltitle {

// Malformed UTF-8 (stray continuation bytes, overlong forms, surrogates, truncated sequences)
// becomes U+FFFD, one per offending byte, so no input is silently dropped.
std::u16string Utf8ToUtf16(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Text for a title string: "\n" (backslash, n) and real line breaks (LF, CR LF, lone CR) become the
// paragraph break CR LF; "\\" is one backslash; any other backslash stays as typed.
std::u16string ExpandTitleText(std::string_view utf8);

// A title string's text for display on one line: CR LF shows as "\n", other controls as "\xHH".
std::string PrintableText(std::u16string_view text);

}  // namespace qeltitle
