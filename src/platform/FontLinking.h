// Font linking: which installed face can show a code unit that a font lacks.
#pragma once

#include <memory>

#include "qel/QEL_Title2.h"

namespace qel {

// Finds, for a character the base font lacks, an installed font that has it. Made once per
// editing operation; forgets its mappings when destroyed.
class FontLinker {
public:
    FontLinker();
    ~FontLinker();
    FontLinker(const FontLinker&) = delete;
    FontLinker& operator=(const FontLinker&) = delete;

    bool Valid() const { return impl_ != nullptr; }
    struct Impl;
    Impl* impl() const { return impl_.get(); }

private:
    std::unique_ptr<Impl> impl_;
};

// Writes into face (NUL-padded) the family of an installed face that has code (a code point,
// which may lie beyond U+FFFF), taken from the faces fontconfig ranks closest to base; false when
// no installed face has it. Answers are remembered by the linker for the rest of its operation.
// With a language (a BCP 47 tag, or null), faces that write it come first: an ideograph in
// Chinese text takes a Chinese face rather than a Japanese one.
bool MapFontForCode(FontLinker& linker, const LOGFONTW& base, char32_t code, char16_t (&face)[32],
                    const char* language = nullptr);

// The same among colour faces only (emoji): the base's own family is a fine answer when it is one.
bool MapColorFontForCode(FontLinker& linker, const LOGFONTW& base, char32_t code, char16_t (&face)[32],
                         const char* language = nullptr);

}  // namespace qel
