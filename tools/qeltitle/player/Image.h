// A 32-bit frame as the library draws on it: blue, green, red, alpha bytes, straight alpha,
// rows top to bottom with a stride of exactly width * 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qeltitle {

struct Image {
    int width = 0;   // pixels
    int height = 0;  // pixels
    std::vector<uint8_t> pixels;

    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4) {}
    uint8_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 4; }
    const uint8_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width * 4; }
    uint8_t* At(int x, int y) { return Row(y) + static_cast<size_t>(x) * 4; }
    const uint8_t* At(int x, int y) const { return Row(y) + static_cast<size_t>(x) * 4; }
};

// A rectangle of frame pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelRect&) const = default;
};
// The smallest rectangle holding both (an empty one adds nothing).
PixelRect Union(const PixelRect& a, const PixelRect& b);

// A picture drawn over part of a frame and held elsewhere (a title's layer): straight-alpha BGRA
// covering `rect` (frame pixels), its first pixel at `pixels`, rows `stride` bytes apart.
struct LayerView {
    const uint8_t* pixels = nullptr;
    int stride = 0;
    PixelRect rect;
    const uint8_t* At(int x, int y) const {  // frame pixel (x, y), within `rect`
        return pixels + static_cast<ptrdiff_t>(y - rect.y) * stride + static_cast<ptrdiff_t>(x - rect.x) * 4;
    }
};

// Every pixel the opaque colour 0x00RRGGBB.
void FillSolid(Image& image, uint32_t rgb);
// Opaque vertical gradient from `top` to `bottom` (0x00RRGGBB), one colour per row.
void FillVerticalGradient(Image& image, uint32_t top, uint32_t bottom);
// Bilinear resampling of `source` to the given size (pixel centres aligned, edges clamped).
Image Resized(const Image& source, int width, int height);
// Copies `source` into `target` with its top-left corner at (x, y); parts outside are cut.
void Blit(Image& target, const Image& source, int x, int y);

}  // namespace qeltitle
