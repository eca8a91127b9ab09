// Where a title goes in a picture: the fit of its design frame into an output frame, and the
// placement of a string by its measured extent inside the design frame (anchors and margins).
// Shared by the commands that draw titles over frames of any size.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/Result.h"
#include "qel/QEL_Title2.h"
#include "player/TitleMeta.h"

namespace qeltitle {

// The part of an output frame a title is drawn into, and its scale. The engine draws a frame of
// width x height at `scale` frame pixels per layout unit; that frame sits at (x, y) of the output.
struct FrameFit {
    float scale = 1;  // frame pixels per layout unit
    int x = 0, y = 0;  // output pixels
    int width = 0, height = 0;  // output pixels
    bool Whole(int outputWidth, int outputHeight) const {
        return x == 0 && y == 0 && width == outputWidth && height == outputHeight;
    }
};

// The design frame scaled uniformly to the largest size that fits the output, centred: a
// 1920x1080 title fills 1280x720, and in 1080x1920 (portrait) takes the full width in a band of
// 1080x608 across the middle. Parts of the title beyond the design frame are not drawn.
FrameFit FitDesignFrame(const DesignFrame& design, int outputWidth, int outputHeight);
// The whole output for a title anchored to it (TitleMeta::fitOutput): the design frame's short
// side scaled to the output's, so a 1920x1080 title keeps its text size on 1080x1920 and on
// 1440x1080 (never smaller than the fit's); same-shaped outputs get the fit's scale.
FrameFit OutputFrame(const DesignFrame& design, int outputWidth, int outputHeight);
// The whole output at a given scale (an explicit --scale): layout unit 0,0 at the top-left.
FrameFit WholeFrame(float scale, int outputWidth, int outputHeight);

// The nine places a string can be anchored to in the design frame: "top-left", "top",
// "top-right", "left", "center" (or "centre"), "right", "bottom-left", "bottom", "bottom-right"
// ("top-center" and "bottom-center" also read).
struct Anchor {
    int x = 1;  // 0 left, 1 centre, 2 right
    int y = 1;  // 0 top, 1 middle, 2 bottom
};
bool ParseAnchor(std::string_view text, Anchor& out);
// The same, with a message naming the nine.
Expected<Anchor> ParseAnchor(std::string_view text);

// Distance from the frame's edges, layout units: "X" for both, or "X,Y".
struct Margin {
    float x = 0, y = 0;
};
Expected<Margin> ParseMargin(std::string_view text);

// What a string draws, as a box in layout units (its characters' turned boxes).
struct Extent {
    float left = 0, top = 0, right = 0, bottom = 0;
};
// The move (layout units) that puts `extent` at `anchor` of the frame, `margin` in from the edges
// it touches; a centred side ignores the margin across it.
std::pair<float, float> AnchorOffset(Anchor anchor, const Margin& margin, const Extent& extent,
                                     const DesignFrame& frame);
// The box, in layout units, of the characters of string `row` as drawn (turned) at rest, grown by
// the padding of its plates.
Extent MeasureString(qel::ITitleHost& host, int row);

struct AnchoredString {
    int row = 0;
    Anchor anchor;
    float marginX = 0, marginY = 0;
};
// "0:bottom-left:80,120 2:center:0,0", and back (entries that do not read are left out).
std::string FormatAnchors(const std::vector<AnchoredString>& anchors);
std::vector<AnchoredString> ParseAnchors(std::string_view text);

// True when part of `extent` lies outside the frame.
bool OutsideFrame(const Extent& extent, const DesignFrame& frame);

}  // namespace qeltitle
