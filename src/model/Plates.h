// Plates behind a string's text and gradients across a string: which characters a plate covers,
// the boxes it is drawn as, and how edits of the text carry its character range along.
//
// A plate covers the characters [First, First + Count) (Count 0: to the end). Its boxes are made
// from the covered characters' layout boxes: one box round all of them (per string), round those
// of each line, or round each word (a run of characters that are not white space, within one
// line). White space and line breaks never start or end a box, so a trailing space does not
// lengthen a bar. Boxes are in layout units, before padding, in the string's unturned frame.
#pragma once

#include <cstdint>
#include <vector>

#include "model/TitleModel.h"

namespace qel {

// A rectangle in layout units.
struct LayoutBox {
    float left = 0, top = 0, right = 0, bottom = 0;

    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
};

// One box of a plate and the characters it is drawn for (their effect answers move it).
struct PlateBox {
    LayoutBox box;      // the characters' boxes together, without padding
    int32_t first = 0;  // the characters, [first, last]
    int32_t last = 0;
};

// True when every field of the plate lies in its documented range.
bool PlateValid(const QelPlate& plate);

// The covered range of a plate clamped to the string: [*first, *end); false when it is empty.
bool PlateRange(const MetaString& s, const QelPlate& plate, int32_t* first, int32_t* end);

// Character i's layout box (the string's position, its paragraph's, its line's and its own).
LayoutBox CharLayoutBox(const MetaString& s, size_t i);

// Whether character i only makes room (white space, a line break, the tail of a surrogate pair).
bool IsPlateGap(const MetaString& s, size_t i);

// The boxes of a plate in drawing order; empty when it covers no visible character.
std::vector<PlateBox> PlateBoxes(const MetaString& s, const QelPlate& plate);

// The box one gradient spans for character i under `across` (QEL_ACROSS_LINE: its line's
// characters, QEL_ACROSS_STRING: all of the string's); false for QEL_ACROSS_OWN or a character
// that has none.
bool AcrossBox(const MetaString& s, size_t i, uint32_t across, LayoutBox* out);

// Keeps the plates on their characters when `count` characters are inserted before character col.
void PlatesAfterInsert(MetaString& s, int32_t col, int32_t count);
// The same when characters [col, col + count) are removed; a plate whose range goes is removed.
void PlatesAfterDelete(MetaString& s, int32_t col, int32_t count);
// After ClearString: only plates of the whole string stay.
void PlatesAfterClear(MetaString& s);

}  // namespace qel
