// Lower thirds: a name and a role as one block, in one of a few looks, laid out for the frame's
// shape. The block is one string of two paragraphs (the name, then the role in a smaller size),
// so the library lays the pair out together: the role sits under the name at the font's own line
// spacing, both aligned on the anchored side, and the anchor and margin place the whole block.
//
// Sizes follow the design frame: the name is a fraction of the frame's short side and the role a
// fraction of the name; the margins keep the block inside the title-safe area in landscape, and
// higher up in portrait, where phone apps put their own buttons over the bottom of the picture.
// The result is a template (TitleTemplate) with the fields {{name}} and {{role}}: filled with the
// names given, or kept as fields for `batch`.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "authoring/JsonInput.h"
#include "player/Placement.h"
#include "player/Result.h"
#include "player/TitleMeta.h"

namespace qeltitle {

enum class LowerThirdStyle { Clean, News, Bold, Minimal };
Expected<LowerThirdStyle> ParseLowerThirdStyle(std::string_view text);

struct LowerThirdSpec {
    LowerThirdStyle style = LowerThirdStyle::Clean;
    bool withRole = true;
    DesignFrame frame;                // the design frame; its shape chooses the layout
    std::optional<Anchor> anchor;     // default bottom-left
    std::optional<Margin> margin;     // default: from the frame (title-safe)
    std::optional<float> nameSize;    // default: from the frame's short side
    double length = 5;                // seconds
    std::string font;                 // empty: the default face
    // #RRGGBB[AA] of a thin bar beside the name's plate, on the anchored side (looks with bars:
    // news and bold); it comes and goes with the plate.
    std::optional<std::string> accent;
};

// The name's size and the margins the frame's shape gives.
float DefaultNameSize(const DesignFrame& frame);
Margin DefaultMargin(const DesignFrame& frame);

// Whether the look draws a bar behind the name alone, beside which an accent can stand.
bool HasNameBar(LowerThirdStyle style);

// The template: a JSON title with {{name}} (and {{role}}) in its text.
Json LowerThirdTemplate(const LowerThirdSpec& spec);

}  // namespace qeltitle
