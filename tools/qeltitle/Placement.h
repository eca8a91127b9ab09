// Where a title goes in a picture: the fit of its design frame into an output frame, and the
// placement of a string by its measured extent inside the design frame (anchors and margins).
// Shared by the commands that draw titles over frames of any size.
#pragma once

#include <string>
#include <string_view>

#include "TitleMeta.h"

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
// The whole output at a given scale (an explicit --scale): layout unit 0,0 at the top-left.
FrameFit WholeFrame(float scale, int outputWidth, int outputHeight);

}  // namespace qeltitle
