// Conversions between the engine's two text encodings: UTF-16, in which hosts and title files
// hand over text, and UTF-8, which file paths, fontconfig and the debug output take. Ill-formed
// input never stops a conversion: what cannot be converted becomes U+FFFD, so nothing else in
// the text is lost.
#pragma once

#include <string>
#include <string_view>

namespace qel {

// Stands for any input that has no code point.
inline constexpr char16_t kReplacementCharacter = 0xFFFD;

// UTF-8 to UTF-16. One U+FFFD replaces each byte that cannot begin a sequence, and each sequence
// that is cut short (its lead and the continuation bytes before the first missing or wrong one),
// overlong, an encoded surrogate or beyond U+10FFFF.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8. A surrogate without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Appends code point cp as one unit, or as a surrogate pair from U+10000 on. cp is at most
// U+10FFFF; larger values give a pair that stands for no character.
void AppendUtf16(std::u16string& out, char32_t cp);

}  // namespace qel
