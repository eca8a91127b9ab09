// Text conversions between the command line (UTF-8) and the library's UTF-16 interface.
#pragma once

#include <string>
#include <string_view>

#include "base/Unicode.h"

namespace qeltitle {

// UTF-8 and UTF-16 convert as in the library (base/Unicode, compiled into the tool): each
// malformed sequence becomes U+FFFD, so no input is silently dropped.
using qel::Utf16ToUtf8;
using qel::Utf8ToUtf16;

// Text for a title string: "\n" (backslash, n) and real line breaks (LF, CR LF, lone CR) become the
// paragraph break CR LF; "\\" is one backslash; any other backslash stays as typed.
std::u16string ExpandTitleText(std::string_view utf8);

// A title string's text for display on one line, written as `text` reads it: CR LF shows as "\n",
// a backslash as "\\", other controls as "\xHH".
std::string PrintableText(std::u16string_view text);

}  // namespace qeltitle
