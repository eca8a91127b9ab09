// The pieces from which a character's face, border and shadow images are made: outline masks by
// dilation, the three layer builders, shadow stamping and colour packing. They work on masks and
// the public style records only; the glyph cache (glyph/GlyphCache.h) puts them together for a
// character of a title.
//
// Masks are 8-bit coverage, 0 outside to 255 inside, rows top to bottom, stride = width.
// Images are LayerImage: 4-byte pixels (three colour bytes in the frame's order, then straight
// alpha), stride = width * 4, placed at (x, y) relative to the character's drawing position.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "qel/QEL_Title2.h"

namespace qel {

// A character image: 4-byte pixels, straight alpha, stride width * 4. (x, y) is its top-left
// corner relative to the character's drawing position.
struct LayerImage {
    std::unique_ptr<uint8_t[]> pixels;  // null when the layer is absent
    int32_t width = 0, height = 0;
    float x = 0, y = 0;
    // Every pixel whose alpha is not 0 has the colour `colour` (a pixel word's low three bytes),
    // which lets placement interpolate alpha alone. False promises nothing.
    bool oneColour = false;
    uint32_t colour = 0;

    void Reset() {
        pixels.reset();
        width = height = 0;
        x = y = 0;
        oneColour = false;
        colour = 0;
    }
};

enum DirtyBit : uint8_t { kDirtyFace = 1, kDirtyBorder = 2, kDirtyShadow = 4, kDirtyAll = 7 };

struct PreparedGlyph {
    LayerImage Face, Border, Shadow;
    uint8_t DirtyBits = kDirtyAll;

    void FreeImages() {
        Face.Reset();
        Border.Reset();
        Shadow.Reset();
    }
};

// One block holding a string's three layers (premultiplied pixels), each on a 64-byte boundary.
struct AlignedFree {
    void operator()(uint8_t* p) const noexcept { std::free(p); }
};
using AlignedBlock = std::unique_ptr<uint8_t, AlignedFree>;

struct LayerMemory {
    AlignedBlock block;
    uint8_t* ShadowLayer = nullptr;
    uint8_t* BorderLayer = nullptr;
    uint8_t* FaceLayer = nullptr;

    explicit operator bool() const { return block != nullptr; }
    void Reset() {
        block.reset();
        ShadowLayer = BorderLayer = FaceLayer = nullptr;
    }
};

// Largest character image or mask the builders make: kMaxImageSide pixels a side and
// kMaxImagePixels pixels in all (256 MiB of image). Larger ones are refused like a failed
// allocation, so absurd scales, offsets or blur radii cannot overflow size arithmetic or exhaust
// memory.
constexpr int64_t kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = int64_t{1} << 26;

inline bool ImageSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

// The widest margin m for which an image of w x h grown by m on every side, (w + 2m) x (h + 2m),
// is allowed; -1 when not even w x h is. The area bound is a quadratic in m:
// 4m^2 + 2(w + h)m + wh - kMaxImagePixels <= 0.
inline int64_t LargestMargin(int64_t w, int64_t h) {
    if (!ImageSizeAllowed(w, h)) return -1;
    const double d = double(w - h);
    int64_t m = std::min((kMaxImageSide - std::max(w, h)) / 2,
                         int64_t((std::sqrt(d * d + 4.0 * double(kMaxImagePixels)) - double(w + h)) / 4));
    while (m > 0 && !ImageSizeAllowed(w + 2 * m, h + 2 * m)) --m;
    if (ImageSizeAllowed(w + 2 * m + 2, h + 2 * m + 2)) ++m;
    return m;
}

// A read-only mask; pixels null (or a size 0) means the mask is absent.
struct MaskView {
    const uint8_t* pixels = nullptr;
    int32_t width = 0, height = 0;

    bool Empty() const { return !pixels || width <= 0 || height <= 0; }
};

// What the builders take from the render settings.
struct LayerSettings {
    float scaleX = 1, scaleY = 1;  // layout units to frame pixels
    int32_t qualityMode = 1;       // 0 and 1 blur with a Gaussian, anything else with a box
    int32_t colorMode = 0;         // 1: colours become luma/chroma

    static LayerSettings From(const RenderSettings& s) {
        return {s.ScaleX, s.ScaleY, s.QualityMode, s.ColorMode};
    }
};

// The glyph grown by the border (full) and the border alone (ring), both width x height with the
// glyph at (marginX, marginY).
struct OutlineMasks {
    std::unique_ptr<uint8_t[]> full, ring;
    int32_t width = 0, height = 0;
    int32_t marginX = 0, marginY = 0;  // ceil of the border widths

    MaskView Full() const { return {full.get(), width, height}; }
    MaskView Ring() const { return {ring.get(), width, height}; }
};

// Border widths bx, by in frame pixels (>= 0). S_OK, or the reason the kernel or the masks cannot
// be made (out is then left empty, which callers treat as "no border").
[[nodiscard]] HRESULT BuildOutlineMasks(const uint8_t* glyph, int32_t w, int32_t h, float bx, float by,
                      OutlineMasks* out) noexcept;

// Each builder replaces *out. S_OK, including for an intentionally empty image (size 0, pixels
// null); E_OUTOFMEMORY when the image cannot be allocated, E_INVALIDARG when it would exceed the
// size limits (out is then empty too).
[[nodiscard]] HRESULT BuildFaceLayer(LayerImage* out, MaskView glyph, float x, float y, const MetaFace& face,
                   float sizeRatio, const LayerSettings& settings) noexcept;
[[nodiscard]] HRESULT BuildBorderLayer(LayerImage* out, MaskView ring, float x, float y, const MetaBorder& border,
                     float sizeRatio, const LayerSettings& settings) noexcept;
// The face of a colour glyph (emoji): its own pixels (blue, green, red, straight alpha; width x
// height, stride width * 4) instead of the face's colours, under the face's opacity and blur.
[[nodiscard]] HRESULT BuildColorFaceLayer(LayerImage* out, const uint8_t* pixels, int32_t width,
                                          int32_t height, float x, float y, const MetaFace& face,
                                          float sizeRatio, const LayerSettings& settings) noexcept;
// full and ring may be empty when the character has no outline; (px, py) is where the chosen
// mask starts.
[[nodiscard]] HRESULT BuildShadowLayer(LayerImage* out, MaskView glyph, MaskView full, MaskView ring, float px,
                     float py, const MetaShadow& shadow, float sizeRatio,
                     const LayerSettings& settings) noexcept;

// Raises the alpha bytes under a mask laid at (x, y) (truncated towards zero) of an image of
// imageWidth x imageHeight pixels to ((alpha + 1) * v) >> 8 where that is larger. Cells outside
// the image are dropped. S_OK, or E_INVALIDARG for null or empty input.
HRESULT StampMaxAlpha(uint8_t* pixels, int32_t imageWidth, int32_t imageHeight, const uint8_t* mask,
                  int32_t maskW, int32_t maskH, float x, float y, uint8_t alpha) noexcept;

// A model colour 0x00BBGGRR as the builders write it: unchanged in RGB mode; in luma/chroma mode
// converted and repacked as Y | Cb << 8 | Cr << 16, so that the pixel bytes read Cr, Cb, Y.
uint32_t FrameColor(uint32_t color, int32_t colorMode);

// Style distances (border size, blur radius) in frame pixels: value * sizeRatio * scale * 25.6,
// plus a hair so that whole numbers do not fall just below themselves.
inline double StyleDistance(double value, double sizeRatio, double scale) {
    return value * sizeRatio * scale * 25.6 + 0.00001;
}

}  // namespace qel
