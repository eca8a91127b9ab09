// Line breaking and layout of one string, in layout units. Both take everything they depend on as
// arguments: the direction lines are broken in, the attributes for paragraphs that must be made,
// and the font that sizes an empty string. Editing passes the defaults for new text; passes over
// whole titles pass each string's own direction.
#pragma once

#include <cstdint>

#include "model/TitleModel.h"
#include "qel/QEL_Title2.h"

namespace qel {

// Assigns the characters from the paragraph that holds `start` to the end of the string to lines
// and paragraphs, breaking lines along `vertical`'s direction. Records that do not describe the
// text any more are rebuilt, new paragraphs taking `fill`. Returns 0 for a range outside the
// string (nothing changes), else 1.
int BreakLines(MetaString& s, int32_t start, int32_t count, bool vertical, const ParagraphAttrs& fill);

// All geometry of the string from its line and paragraph assignment. A string without characters
// gets the size of one space of `emptyFont`; one whose records are inconsistent (only a loaded
// title) is rebuilt first, broken along `breakVertical`.
void LayoutString(MetaString& s, bool breakVertical, const ParagraphAttrs& fill, const FontSpec& emptyFont);

}  // namespace qel
