// Small arithmetic shared by the effect families. Everything here is single precision unless a
// name says otherwise, matching how the families define their motions.
#pragma once

#include <cstdint>

namespace qel {

// Ease-out: e(t) = t * (2 - t), so 1 - e(t) = (1 - t)^2; decelerates to rest at t = 1.
inline float EaseOut(float t) { return t * (2.0f - t); }

// Alpha from an already scaled value (0 .. 255), truncated towards zero. Values below 0 or not a
// number give 0 and values from 255 up give 255, so the conversion never leaves the byte's range.
inline uint8_t TruncAlpha(float a) {
    if (!(a > 0.0f)) return 0;
    if (a >= 255.0f) return 255;
    return static_cast<uint8_t>(a);
}

// Alpha from a coverage fraction (1 = fully covered): trunc(v * 255), saturated to 0 .. 255.
inline uint8_t CoverageAlpha(float v) { return TruncAlpha(v * 255.0f); }

}  // namespace qel
