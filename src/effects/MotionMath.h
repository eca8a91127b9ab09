// Motion arithmetic shared by the pop-up and fly families: own progress of a character in a
// staggered start, clamping to the unit range, and cubic Bezier evaluation. Single precision
// unless a name says otherwise: the families round where their motions are defined to, and a
// change of precision here moves pixels. The helpers live in their own namespace so that a
// helper of the same name in another family's header can never be merged with one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <numbers>

namespace qel::motion {

constexpr double kPi = std::numbers::pi;

// v clamped to [0, 1]; not a number gives 0, so a degenerate input never reaches the pixels.
inline float Clamp01(float v) {
    if (!(v > 0.0f)) return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

// The character count that staggered starts divide by: charCount, but never less than the boxes
// set up, so an effect asked for a character it has a box for never divides by zero.
inline int32_t StaggerCount(int32_t charCount, size_t boxes) {
    const auto set = static_cast<int32_t>(boxes);
    return charCount > set ? charCount : set;
}

// A character's place in the start order, i / n in [0, 1).
inline float StartFraction(int32_t i, int32_t n) { return static_cast<float>(i) / static_cast<float>(n); }

// Own progress of a character whose window is the share `window` of the path, the windows spread
// evenly by start fraction: clamp((p - start * (1 - window)) / window, 0, 1). The first character
// starts at p = 0, the last (start (n - 1) / n) ends at 1 - (1 - window) / n.
inline float StaggeredProgress(float p, float start, float window) {
    return Clamp01((p - start * (1.0f - window)) / window);
}

// Own progress of a character that starts at `delay` and runs at `rate` times the path's speed:
// clamp((p - delay) * rate, 0, 1).
inline float DelayedProgress(float p, float delay, float rate) { return Clamp01((p - delay) * rate); }

struct Point2 {
    float x, y;
};

// A point of a cubic Bezier curve through p[0] .. p[3] at t in [0, 1], with the curve's
// derivative there (the direction of travel, in the points' units per unit of t).
struct BezierSample {
    Point2 at;
    Point2 direction;
};

inline BezierSample CubicBezier(const Point2 (&p)[4], float t) {
    const float u = 1.0f - t;
    const float b0 = u * u * u, b1 = 3.0f * u * u * t, b2 = 3.0f * u * t * t, b3 = t * t * t;
    const float d0 = 3.0f * u * u, d1 = 6.0f * u * t, d2 = 3.0f * t * t;
    BezierSample s;
    s.at.x = b0 * p[0].x + b1 * p[1].x + b2 * p[2].x + b3 * p[3].x;
    s.at.y = b0 * p[0].y + b1 * p[1].y + b2 * p[2].y + b3 * p[3].y;
    s.direction.x = d0 * (p[1].x - p[0].x) + d1 * (p[2].x - p[1].x) + d2 * (p[3].x - p[2].x);
    s.direction.y = d0 * (p[1].y - p[0].y) + d1 * (p[2].y - p[1].y) + d2 * (p[3].y - p[2].y);
    return s;
}

}  // namespace qel::motion
