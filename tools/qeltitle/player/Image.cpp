#include "player/Image.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qeltitle {

PixelRect Union(const PixelRect& a, const PixelRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

void FillSolid(Image& image, uint32_t rgb) { FillVerticalGradient(image, rgb, rgb); }

void FillVerticalGradient(Image& image, uint32_t top, uint32_t bottom) {
    for (int y = 0; y < image.height; ++y) {
        const double t = image.height > 1 ? static_cast<double>(y) / (image.height - 1) : 0.0;
        uint8_t bgra[4];
        for (int c = 0; c < 3; ++c) {
            const int shift = 8 * c;  // blue, green, red from the low byte up
            const double a = (top >> shift) & 0xFF, b = (bottom >> shift) & 0xFF;
            bgra[c] = static_cast<uint8_t>(std::lround(a + (b - a) * t));
        }
        bgra[3] = 255;
        uint8_t* row = image.Row(y);
        for (int x = 0; x < image.width; ++x) std::memcpy(row + x * 4, bgra, 4);
    }
}

Image Resized(const Image& source, int width, int height) {
    Image out(width, height);
    if (source.width <= 0 || source.height <= 0) return out;
    const double sx = static_cast<double>(source.width) / width;
    const double sy = static_cast<double>(source.height) / height;
    for (int y = 0; y < height; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, source.height - 1.0);
        const int y0 = static_cast<int>(fy), y1 = std::min(y0 + 1, source.height - 1);
        const double wy = fy - y0;
        uint8_t* row = out.Row(y);
        for (int x = 0; x < width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, source.width - 1.0);
            const int x0 = static_cast<int>(fx), x1 = std::min(x0 + 1, source.width - 1);
            const double wx = fx - x0;
            for (int c = 0; c < 4; ++c) {
                const double top = source.At(x0, y0)[c] * (1 - wx) + source.At(x1, y0)[c] * wx;
                const double bot = source.At(x0, y1)[c] * (1 - wx) + source.At(x1, y1)[c] * wx;
                row[x * 4 + c] = static_cast<uint8_t>(std::lround(top * (1 - wy) + bot * wy));
            }
        }
    }
    return out;
}

void Blit(Image& target, const Image& source, int x, int y) {
    const int x0 = std::max(0, x), x1 = std::min(target.width, x + source.width);
    if (x0 >= x1) return;
    for (int row = std::max(0, y); row < std::min(target.height, y + source.height); ++row)
        std::memcpy(target.At(x0, row), source.At(x0 - x, row - y), static_cast<size_t>(x1 - x0) * 4);
}

}  // namespace qeltitle
