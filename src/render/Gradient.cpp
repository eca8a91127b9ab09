// Two-colour gradients in 12-bit fixed point.
//
// The four corner colours come from the gradient type. Each channel is interpolated linearly:
// first down the left column (top-left to bottom-left) and the right column, then along every
// row from its left to its right pixel. Over n pixels the step is ((end - start) << 12) / (n - 1)
// (integer division, towards zero) and pixel k takes start + ((k * step) >> 12) with an
// arithmetic shift; k * step never exceeds |end - start| << 12, so nothing overflows and every
// value stays between start and end. A single row uses the top corners as its ends and a single
// column is the left column.
#include "render/Gradient.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace qel {
namespace {

// One colour as its three channels in pixel byte order.
using Channels = std::array<int32_t, 3>;

Channels Unpack(uint32_t color) {
    return {int32_t((color >> 16) & 0xFF), int32_t((color >> 8) & 0xFF), int32_t(color & 0xFF)};
}

Channels Average(const Channels& a, const Channels& b) {
    return {(a[0] + b[0]) >> 1, (a[1] + b[1]) >> 1, (a[2] + b[2]) >> 1};
}

struct Corners {
    Channels topLeft, topRight, bottomLeft, bottomRight;
};

Corners CornersOf(int32_t gradType, const Channels& c1, const Channels& c2) {
    const Channels avg = Average(c1, c2);
    switch (gradType) {
        case 1: return {c1, c1, c2, c2};
        case 2: return {c2, c1, c2, c1};
        case 3: return {c1, c2, c1, c2};
        case 4: return {c2, avg, avg, c1};
        case 5: return {avg, c2, c1, avg};
        case 6: return {avg, c1, c2, avg};
        case 7: return {c1, avg, avg, c2};
        default: return {c2, c2, c1, c1};
    }
}

// Step of one channel over n pixels (n >= 2), 12-bit fixed point.
inline int32_t Step(int32_t start, int32_t end, int32_t n) { return ((end - start) * 4096) / (n - 1); }

// Channel values of pixel k of a run from start to end over n pixels.
Channels Interpolate(const Channels& start, const Channels& end, int32_t k, int32_t n) {
    if (n < 2) return start;
    Channels out;
    for (int c = 0; c < 3; ++c) out[c] = start[c] + ((k * Step(start[c], end[c], n)) >> 12);
    return out;
}

}  // namespace

HRESULT FillGradient(uint8_t* pixels, int32_t width, int32_t height, uint32_t color1, uint32_t color2,
                     int32_t gradType) {
    if (!pixels || width <= 0 || height <= 0) return E_INVALIDARG;
    const Corners corners = CornersOf(gradType, Unpack(color1), Unpack(color2));
    for (int32_t y = 0; y < height; ++y) {
        const Channels left = Interpolate(corners.topLeft, corners.bottomLeft, y, height);
        const Channels right = Interpolate(corners.topRight, corners.bottomRight, y, height);
        uint8_t* p = pixels + std::size_t(y) * std::size_t(width) * 4;
        if (width == 1) {
            p[0] = uint8_t(left[0]);
            p[1] = uint8_t(left[1]);
            p[2] = uint8_t(left[2]);
            continue;
        }
        const int32_t step0 = Step(left[0], right[0], width);
        const int32_t step1 = Step(left[1], right[1], width);
        const int32_t step2 = Step(left[2], right[2], width);
        int32_t sum0 = 0, sum1 = 0, sum2 = 0;  // k * step, kept as running sums
        for (int32_t x = 0; x < width; ++x, p += 4) {
            p[0] = uint8_t(left[0] + (sum0 >> 12));
            p[1] = uint8_t(left[1] + (sum1 >> 12));
            p[2] = uint8_t(left[2] + (sum2 >> 12));
            sum0 += step0;
            sum1 += step1;
            sum2 += step2;
        }
    }
    return S_OK;
}

}  // namespace qel

namespace qel {

std::array<uint32_t, 4> GradientCorners(uint32_t color1, uint32_t color2, int32_t gradType) {
    const Corners c = CornersOf(gradType, Unpack(color1), Unpack(color2));
    auto pack = [](const Channels& ch) { return uint32_t(ch[0]) << 16 | uint32_t(ch[1]) << 8 | uint32_t(ch[2]); };
    return {pack(c.topLeft), pack(c.topRight), pack(c.bottomLeft), pack(c.bottomRight)};
}

uint32_t ColourAt(const std::array<uint32_t, 4>& corners, float u, float v) {
    u = std::clamp(u, 0.0f, 1.0f);
    v = std::clamp(v, 0.0f, 1.0f);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        auto ch = [&](int k) { return float((corners[size_t(k)] >> shift) & 0xFF); };
        const float top = ch(0) + (ch(1) - ch(0)) * u, bottom = ch(2) + (ch(3) - ch(2)) * u;
        out |= uint32_t(std::lround(std::clamp(top + (bottom - top) * v, 0.0f, 255.0f))) << shift;
    }
    return out;
}

void FillGradientOver(uint8_t* pixels, int32_t width, int32_t height, float imageX, float imageY,
                      const GradientBox& box) {
    if (!pixels || width <= 0 || height <= 0) return;
    const float iw = box.width > 0 ? 1.0f / box.width : 0.0f, ih = box.height > 0 ? 1.0f / box.height : 0.0f;
    for (int32_t j = 0; j < height; ++j) {
        uint8_t* p = pixels + size_t(j) * size_t(width) * 4;
        for (int32_t i = 0; i < width; ++i, p += 4) {
            // The pixel's centre turned back into the box's unturned frame.
            const float ox = imageX + float(i) + 0.5f, oy = imageY + float(j) + 0.5f;
            const float u = box.cosA * ox - box.sinA * oy, v = box.sinA * ox + box.cosA * oy;
            const uint32_t c = ColourAt(box.corners, (u - box.x) * iw, (v - box.y) * ih);
            p[0] = uint8_t(c >> 16);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c);
        }
    }
}

}  // namespace qel
