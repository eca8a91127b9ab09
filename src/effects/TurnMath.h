// Turning arithmetic shared by the rotate and special families: a swing of a character about the
// string centre, and the staggered own progress that lets characters of one string start one
// after another. Which steps round to single precision is part of each motion's definition (it
// decides pixels), so every helper says where it rounds. The helpers live in qel::turn so that
// other families' motion helpers of similar names can never be mistaken for them.
#pragma once

#include <cmath>
#include <cstdint>

#include "effects/PathEffect.h"

namespace qel::turn {

constexpr double kPi = 3.141592653589793;
constexpr double kRadToDeg = 57.29577951308232;  // 180 / pi

// The progress from which a path that brings characters to rest answers every character at its
// laid-out place. The turning formulas reach the place only up to rounding there (a float pi,
// a float reciprocal, a centre difference that does not round-trip), which would leave the last
// frame of the path a fraction of a pixel away from the title at rest.
inline bool AtRest(float p) { return p >= 1.0f; }

// A character's own progress when it starts at `start` (path progress) and runs `rate` times as
// fast as the path: (p - start) * rate clamped to 0 .. 1, in single precision. NaN gives 0.
inline float StaggeredProgress(float p, float start, float rate) {
    const float own = (p - start) * rate;
    if (!(own > 0.0f)) return 0.0f;
    return own < 1.0f ? own : 1.0f;
}

// The box turned by theta (radians) about the centre (cx, cy): its bottom-left corner moves on a
// circle about the centre and the character is drawn upright relative to the turned string
// (angle = theta in degrees). h rounds to float and so does cos theta; the rest is worked out in
// double and rounded once when stored. Scales 1.
inline CharState SwingAbout(const CharBox& box, float cx, double cy, double theta, uint8_t alpha) {
    const float h = box.x - cx;
    const double v = double(box.y) + double(box.height) - cy;  // bottom edge below the centre
    const float c = static_cast<float>(std::cos(theta));
    const double s = std::sin(theta);
    CharState state;
    state.x = static_cast<float>(double(cx) + double(h) * c - v * s);
    state.y = static_cast<float>(double(static_cast<float>(cy)) + v * c + double(h) * s - double(box.height));
    state.scaleX = state.scaleY = 1.0f;
    state.angle = static_cast<float>(theta * kRadToDeg);
    state.alpha = alpha;
    return state;
}

}  // namespace qel::turn
