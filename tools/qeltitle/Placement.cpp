#include "Placement.h"

#include <algorithm>
#include <cmath>

namespace qeltitle {

FrameFit FitDesignFrame(const DesignFrame& design, int outputWidth, int outputHeight) {
    const double scale = std::min(static_cast<double>(outputWidth) / design.width,
                                  static_cast<double>(outputHeight) / design.height);
    FrameFit fit;
    fit.scale = static_cast<float>(scale);
    // The side that limits the scale is the output's own, exactly; the other is rounded.
    fit.width = std::clamp(static_cast<int>(std::lround(design.width * scale)), 1, outputWidth);
    fit.height = std::clamp(static_cast<int>(std::lround(design.height * scale)), 1, outputHeight);
    fit.x = (outputWidth - fit.width) / 2;
    fit.y = (outputHeight - fit.height) / 2;
    return fit;
}

FrameFit WholeFrame(float scale, int outputWidth, int outputHeight) {
    return FrameFit{scale, 0, 0, outputWidth, outputHeight};
}

}  // namespace qeltitle
