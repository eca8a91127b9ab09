// Font linking: which installed face can show a code unit that a font lacks.
#pragma once

#include "model/Fonts.h"

namespace qel {

// Writes into face (NUL-padded) the family of an installed face that has code (a code point,
// which may lie beyond U+FFFF), taken from the faces fontconfig ranks closest to base; false when
// no installed face has it. Answers are remembered by the linker for the rest of its operation.
bool MapFontForCode(FontLinker& linker, const LOGFONTW& base, char32_t code, char16_t (&face)[32]);

}  // namespace qel
