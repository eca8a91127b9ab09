// Text shaping and direction: HarfBuzz turns a run of one font, script and direction into
// positioned glyphs, and FriBidi gives every character of a paragraph its embedding level.
//
// Lengths are pixels at the design height (an em of 2048), like every other font length of the
// platform layer: advances are rounded to whole pixels per glyph as the font engine's advances
// are, offsets are kept exact.
//
// Threads: any number of threads may shape at once. HarfBuzz fonts are made once per font file
// for the process and never change afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {

// One output glyph of a run. cluster is the offset (in UTF-16 units, from the start of the text
// handed in) of the first character the glyph belongs to; x and y place its origin from the pen
// position before it (y upwards); advance moves the pen.
struct ShapedGlyph {
    uint32_t index = 0;
    uint32_t cluster = 0;
    float advance = 0;
    float x = 0, y = 0;
};

// What a run asks of the shaper.
struct ShapeRequest {
    bool rightToLeft = false;
    uint32_t script = 0;   // ISO 15924 tag as HarfBuzz takes it (ScriptOf), 0 to let it guess
    bool kerning = false;  // only asked of scripts that read without it (see ScriptReadsUnshaped)
    bool vertical = false; // a column: the font's vertical forms, glyphs only (no positions)
    const char* language = nullptr;  // BCP 47 tag of the text; null or empty: none ("und")
};

// Shapes text[start, start + length) of the UTF-16 text[0, size) (the rest is context for
// joining) in the face that lf opens. Glyphs come in visual order, left to right. False when the
// face cannot be opened or shaped (out is then empty).
bool ShapeRun(const LOGFONTW& lf, const char16_t* text, size_t size, size_t start, size_t length,
              const ShapeRequest& request, std::vector<ShapedGlyph>* out);

// The embedding level of every UTF-16 unit of a paragraph (both units of a pair get their
// character's), by the Unicode Bidirectional Algorithm with the paragraph's direction taken from
// its first strong character (left to right when it has none), or left to right whatever it holds
// when leftToRight is set (a column, which always runs from top to bottom). Returns the
// paragraph's level.
uint8_t ResolveBidiLevels(const char16_t* text, size_t size, uint8_t* levels, bool leftToRight = false);

// Whether a character lies on its side in a column, turned a quarter turn clockwise with the
// text around it (Unicode's vertical orientation R: Latin, Greek, Cyrillic, Arabic, Hebrew, the
// Indic and South-East Asian scripts), rather than standing upright (ideographs, kana, Hangul,
// emoji, the fullwidth forms).
bool TurnsSideways(char32_t code);

// The script of a character (a HarfBuzz script tag); Common and Inherited characters answer
// kScriptCommon and kScriptInherited and take their neighbours' script in a run.
uint32_t ScriptOf(char32_t code);
extern const uint32_t kScriptCommon, kScriptInherited;

// Scripts whose letters stand each on its own (Latin, Greek, Cyrillic, the Han ideographs, kana,
// Hangul and the symbols): they read correctly without shaping, so they keep the per-character
// layout unless kerning is asked for.
bool ScriptReadsUnshaped(uint32_t script);

// Whether a character may be laid out and drawn by itself, without shaping, when kerning is off:
// it belongs to a script that reads unshaped and is not a mark, a joiner, a variation or
// emoji-sequence selector, nor a direction control.
bool StandsAlone(char32_t code);

// Whether code continues the character cluster of prev instead of starting one: a combining mark,
// a joiner and whatever it joins, a variation or emoji modifier, a tag, the second of two regional
// indicators (a flag). Such a character takes its base's font.
bool ContinuesCluster(char32_t prev, char32_t code);

// Whether a character asks for its colour (emoji) form: the emoji blocks beyond U+1F000 (faces,
// symbols, flags' regional indicators, modifiers), or any character followed by the emoji
// variation selector U+FE0F (a red heart, a keycap's digit).
bool WantsColor(char32_t code, char32_t next);

// Whether a character never shows by itself (joiners, selectors, tags, direction controls): it can
// stay in its base's font even when that font has no glyph for it.
bool IsDefaultIgnorable(char32_t code);

}  // namespace qel
