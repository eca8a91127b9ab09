// The in-memory title: strings, their characters, lines and paragraphs, the per-string style
// tables that characters point into, and key frames. Only what is saved and laid out lives here;
// what drawing needs (character images, layers, effect instances) belongs to the compositor.
//
// Geometry is in layout units (frame coordinates before the render settings' ScaleX/ScaleY), x to
// the right and y downwards. Character codes are UTF-16 code units.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qel {


struct MetaCharacter {
    uint16_t Value = 0;
    float Left = 0, Top = 0;      // relative to the character's line
    float Width = 0, Height = 0;  // measured extent in its font
    float WidthScale = 1, Spacing = 0;
    int32_t LineIndex = 0;
    int32_t FontIndex = 0, FaceIndex = 0, BorderIndex = 0, ShadowIndex = 0;
};

struct MetaLine {
    float Left = 0, Top = 0, Width = 0, Height = 0;  // relative to the paragraph
    int32_t CharStart = 0, CharEnd = 0;              // inclusive
    int32_t ParagraphIndex = 0;
};

struct MetaParagraph {
    float Left = 0, Top = 0, Width = 0, Height = 0;  // relative to the string
    int32_t LineStart = 0, LineEnd = 0;              // inclusive
    uint32_t Align = 0;
    float LineSpace = 0, BeforeSpace = 0, AfterSpace = 0, LeftIndent = 0, RightIndent = 0;

    ParagraphAttrs Attrs() const {
        return {Align, LineSpace, BeforeSpace, AfterSpace, LeftIndent, RightIndent};
    }
    void SetAttrs(const ParagraphAttrs& a) {
        Align = a.Align;
        LineSpace = a.LineSpace;
        BeforeSpace = a.BeforeSpace;
        AfterSpace = a.AfterSpace;
        LeftIndent = a.LeftIndent;
        RightIndent = a.RightIndent;
    }
};

// A font entry. Lengths are already multiplied by SizeRatio, so they are in layout units.
struct MetaFont {
    LOGFONTW LogFont{};
    float SizeRatio = 0;  // |Size| / 2048
    float Ascent = 0, Descent = 0, IntLead = 0, ExtLead = 0;
    float StrikeoutPos = 0, StrikeoutSize = 0, UnderlinePos = 0, UnderlineSize = 0;
    uint32_t Kerning = 0;  // 1: text in this font is kerned (FontSpec::CharSet & kCharSetKerning)
    // The language of the text in this entry (a BCP 47 tag), which it is shaped in and its fonts
    // are linked for; empty: the string's. Saved only when set.
    char Language[QEL_MAX_LANGUAGE + 1] = {};
};
static_assert(sizeof(MetaFont) == 92 + 10 * 4 + QEL_MAX_LANGUAGE + 1,
              "MetaFont must have no padding: entries are compared as bytes");

// The bit of FontSpec::CharSet that asks for kerning. The character set itself is the low 8 bits,
// which is all that older hosts and libraries read.
constexpr uint32_t kCharSetKerning = 0x100;

// What shaping made of a string (none of it is saved: layout makes it again from the text).
// Units of paragraphs that were not shaped have shaped = false and are drawn by their code point.
// The first unit of a shaped cluster carries the cluster's glyphs and its whole advance; the other
// units of the cluster have no glyphs and no width.
struct ShapedUnit {
    uint32_t glyphStart = 0;  // into ShapedText::glyphs
    uint16_t glyphCount = 0;
    uint8_t level = 0;           // bidi embedding level (odd: right to left)
    uint8_t paragraphLevel = 0;  // level of the unit's paragraph
    bool shaped = false;
    bool sideways = false;  // in a column: shaped as a line and drawn turned a quarter turn clockwise
    float width = 0;  // the unit's Width as shaping set it, in layout units
    float height = 0; // and its Height (a column's advance), for units of vertical strings
};

// A glyph of a cluster, placed from the cluster's origin (the left end of its box on the
// baseline) in pixels at the design height, y upwards.
struct ClusterGlyph {
    uint32_t index = 0;
    float x = 0, y = 0;
};

struct ShapedText {
    std::vector<ShapedUnit> units;  // one per character, or empty when nothing is shaped
    std::vector<ClusterGlyph> glyphs;
    // The inputs the result was made from: text, fonts and direction. Layout runs shaping again
    // only when they differ.
    std::vector<uint16_t> values;
    std::vector<int32_t> fontIndices;
    std::vector<MetaFont> fonts;
    std::string language;
    int32_t vertical = 0;
    bool any = false;  // some paragraph was shaped

    bool Shaped(size_t i) const { return i < units.size() && units[i].shaped; }
};

// Enumeration state of GetFirstKeyFrame / GetNextKeyFrame and of key-frame evaluation.
struct KeyFrameCursor {
    bool placed = false;  // never placed (or cleared): GetNextKeyFrame fails
    bool atEnd = false;   // past the last entry
    float key = 0;        // the entry under the cursor when placed and not at the end
};

struct MetaString {
    float Left = 0, Top = 0;
    float Width = 0, Height = 0;
    int32_t ParagraphCount = 0;
    float WidthLimit = 0;
    float RotateDegree = 0;
    int32_t Vertical = 0;
    char PathID[260] = {};
    float PathProgress = 0;
    char MaskFile[260] = {};

    std::vector<MetaCharacter> chars;
    std::vector<MetaLine> lines;
    std::vector<MetaParagraph> paragraphs;
    std::vector<MetaFont> fonts;
    std::vector<MetaFace> faces;
    std::vector<MetaBorder> borders;
    std::vector<MetaShadow> shadows;
    std::map<float, PathValue> KeyFrames;
    KeyFrameCursor Cursor;
    ShapedText Shaping;  // made by layout from the characters and fonts above
    // Boxes drawn under the text (qel_extensions.h), in drawing order, and what the faces'
    // gradients span (QEL_ACROSS_...). Saved only when set, so titles without them are stored
    // as before.
    std::vector<QelPlate> plates;
    uint32_t GradientAcross = 0;
    // The language of the text (a BCP 47 tag such as "ja" or "sr"), which shaping uses for the
    // forms the language writes; empty: none, shaped as every title before it. EvenLines: lines
    // are as thick as the paragraph's main face makes them, whatever fallback faces a line holds
    // (see Layout.cpp). Both saved only when set, so titles without them are stored and drawn as
    // before.
    std::string Language;
    uint32_t EvenLines = 0;

    float RotSin = 0, RotCos = 1;          // of -RotateDegree
    float RotOriginX = 0, RotOriginY = 0;  // frame units
};

// ---- operations on one string (indices are validated by the callers) ----

// Index of the entry byte-identical to `entry` (linear search from 0), or of its appended copy.
// Entries are compared as raw bytes: two floats that print alike but differ in bits differ.
template <class T>
int32_t FindOrAdd(std::vector<T>& table, const T& entry) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (std::memcmp(&table[i], &entry, sizeof(T)) == 0) return static_cast<int32_t>(i);
    }
    table.push_back(entry);
    return static_cast<int32_t>(table.size() - 1);
}

// Erase every entry of one style table that only characters of [first, first + count) use, and
// renumber the higher entries. Characters of the range that pointed at an erased entry are left
// at -1 for the caller to overwrite.
void ReleaseFontEntries(MetaString& s, int32_t first, int32_t count);
void ReleaseFaceEntries(MetaString& s, int32_t first, int32_t count);
void ReleaseBorderEntries(MetaString& s, int32_t first, int32_t count);
void ReleaseShadowEntries(MetaString& s, int32_t first, int32_t count);

// A paragraph with zero geometry, LineStart = LineEnd = 0 and the given attributes, inserted at
// pos (clamped to the end). Returns the new paragraph count.
int32_t InsertParagraph(MetaString& s, int32_t pos, const ParagraphAttrs& attrs);
// A line of zeros inserted at pos (clamped to the end). Returns the new line count.
int32_t InsertLine(MetaString& s, int32_t pos);

// The carriage return of a CR LF pair (ends a paragraph) and its line feed (begins the next).
// A lone 13 or 10 is an ordinary character.
inline bool IsPairCR(const MetaString& s, size_t i) {
    return i + 1 < s.chars.size() && s.chars[i].Value == 13 && s.chars[i + 1].Value == 10;
}
inline bool IsPairLF(const MetaString& s, size_t i) {
    return i > 0 && i < s.chars.size() && s.chars[i].Value == 10 && s.chars[i - 1].Value == 13;
}

// Characters beyond U+FFFF are stored as their two UTF-16 units, one character each, so counts,
// indices and saved titles stay in code units. The first unit of a well-formed pair carries the
// glyph and the advance of the whole code point; the second (the pair's tail) draws nothing and
// takes no room. A surrogate without its partner is an ordinary character (the missing glyph).
inline bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u < 0xDC00; }
inline bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u < 0xE000; }
inline bool IsPairLead(const MetaString& s, size_t i) {
    return i + 1 < s.chars.size() && IsHighSurrogate(s.chars[i].Value) && IsLowSurrogate(s.chars[i + 1].Value);
}
inline bool IsPairTail(const MetaString& s, size_t i) {
    return i > 0 && i < s.chars.size() && IsLowSurrogate(s.chars[i].Value) && IsHighSurrogate(s.chars[i - 1].Value);
}
// The code point that character i draws: the whole code point for a pair's lead, 0 for its tail,
// else the code unit itself.
inline char32_t CodePointAt(const MetaString& s, size_t i) {
    if (IsPairTail(s, i)) return 0;
    const char32_t unit = s.chars[i].Value;
    if (!IsPairLead(s, i)) return unit;
    return 0x10000 + ((unit - 0xD800) << 10) + (char32_t(s.chars[i + 1].Value) - 0xDC00);
}

// How far character i moves the pen along its line: 0 for a CR LF pair and for the tail of a
// surrogate pair, else (Width + Spacing) * WidthScale across a horizontal line or
// Height + Spacing down a column.
inline float Advance(const MetaString& s, size_t i, bool vertical) {
    if (IsPairCR(s, i) || IsPairLF(s, i) || IsPairTail(s, i)) return 0.0f;
    const MetaCharacter& c = s.chars[i];
    return vertical ? c.Height + c.Spacing : (c.Width + c.Spacing) * c.WidthScale;
}

// The font of a character, or an all-zero entry when its index is outside the table (a loaded
// title is taken as stored, so layout must not trust the index).
const MetaFont& FontOf(const MetaString& s, const MetaCharacter& c);

// True when lines cover the characters and paragraphs cover the lines in order without gaps, and
// every LineIndex and ParagraphIndex names the record whose range holds it; for a string without
// characters, when it has no lines and no paragraphs. Layout relies on nothing more.
bool StructureValid(const MetaString& s);

// Rebuilds a consistent structure from the text: one paragraph per CR LF pair, one line per
// paragraph. The existing paragraph records keep their attributes in order; missing ones take
// `fill`. Line breaking is left to the caller.
void RebuildStructure(MetaString& s, const ParagraphAttrs& fill);

// Key frames. Keys lie in 0..1 (the callers check). Storing at an existing key replaces its value.
void StoreKeyFrame(MetaString& s, float key, const PathValue& value);
void EraseKeyFrame(MetaString& s, float key);  // the cursor on that entry becomes unplaced
void EraseAllKeyFrames(MetaString& s);

// The string's PathID and PathProgress at title time t (0..1) from its key frames. No key
// frames: nothing changes.
void EvaluateKeyFrames(MetaString& s, float t);

}  // namespace qel
