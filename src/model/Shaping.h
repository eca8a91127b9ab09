// Shaping a string: which glyphs its characters become, how wide each character's box is, and
// the direction every character runs in. Layout calls it before breaking lines; it keeps its
// result in MetaString::Shaping together with the text and fonts it was made from, and does the
// work again only when those differ, so drawing never shapes.
//
// A paragraph is shaped when it holds a character that does not read correctly on its own
// (joining and right-to-left scripts, Indic and South-East Asian scripts, combining marks, emoji
// sequences, direction controls) or a kerned font. Other paragraphs keep the per-character
// measurement, so titles that do not ask for kerning keep the layout they always had.
#pragma once

#include <cstddef>
#include <vector>

#include "model/TitleModel.h"

namespace qel {

// Shapes every paragraph of s that needs it (horizontal strings only) and sets the Width of its
// characters: a cluster's first character takes the cluster's advance, the others 0.
void ShapeString(MetaString& s);

// A shaped character that belongs to the cluster of an earlier one: no width, no glyph, and it
// stays on its cluster's line.
inline bool IsClusterTail(const MetaString& s, size_t i) {
    return s.Shaping.Shaped(i) && s.Shaping.units[i].glyphCount == 0;
}

// The characters of line range [first, last] in the order they stand from left to right: each
// maximal run at or above a level, from the highest level down to the lowest odd one, is reversed
// (trailing blanks take the paragraph's level). Logical order when nothing is right to left.
void VisualOrder(const MetaString& s, size_t first, size_t last, std::vector<size_t>& order);

// Whether the paragraph whose first character is `first` runs right to left.
inline bool ParagraphRightToLeft(const MetaString& s, size_t first) {
    return first < s.Shaping.units.size() && (s.Shaping.units[first].paragraphLevel & 1) != 0;
}

}  // namespace qel
