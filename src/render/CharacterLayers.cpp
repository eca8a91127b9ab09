// Character images: from a glyph's coverage mask to its face, border and shadow images.
//
// The border is a ring around the glyph: the glyph dilated by an ellipse of the border widths,
// minus the glyph. The shadow uses the glyph, the ring or both (the glyph grown by the border),
// either once at its offset (flat) or stamped repeatedly along the offset (an extruded slab).
// Each image gets its colours (one colour, or a two-colour gradient over the whole image), its
// alpha from the mask and the style's opacity, and an optional blur; a blur margin of ceil(r)
// pixels around the mask leaves the blur room to spread.
//
// Everything here may run on worker threads for different characters at once: it reads its
// arguments and writes only the image it is given, allocates without throwing, and shares nothing but the
// kernel cache.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "render/FilterKernels.h"
#include "render/Filters.h"
#include "render/Gradient.h"
#include "render/Layers.h"
#include "render/OutlineKernel.h"

namespace qel {
namespace {

std::unique_ptr<uint8_t[]> AllocateZeroed(int64_t bytes) noexcept {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size_t(bytes)]());
}

// Largest blur radius in frame pixels, the same bound as for borders. Wide blurs run on running
// sums, so their cost follows the image's area; the bound keeps that area (the glyph plus twice
// the radius a side) within what one character may take. A title that asks for more is blurred
// at the largest radius it may take.
constexpr double kMaxBlurRadius = kMaxKernelHalf;

// Blur radius in frame pixels (0 for none) for an image of w x h pixels before its blur margin:
// at most kMaxBlurRadius, and no wider than the image's size limits leave room for. False only
// for a radius that is not a number.
bool BlurRadius(int32_t styleRadius, float sizeRatio, const LayerSettings& settings, int64_t w, int64_t h,
                float* r, int32_t* margin) {
    *r = 0;
    *margin = 0;
    if (styleRadius <= 0) return true;
    double radius = StyleDistance(styleRadius, sizeRatio, std::min(settings.scaleX, settings.scaleY));
    if (!(radius >= 0)) return false;
    radius = std::min({radius, kMaxBlurRadius, double(std::max<int64_t>(LargestMargin(w, h), 0))});
    *r = static_cast<float>(radius);
    *margin = static_cast<int32_t>(std::ceil(*r));
    return true;
}

// A failed blur leaves the image sharp and answers why.
HRESULT Blur(LayerImage& image, float r, const LayerSettings& settings) {
    if (r <= 0) return S_OK;
    if (settings.qualityMode == 0 || settings.qualityMode == 1) {
        return GaussianBlur(image.pixels.get(), image.width, image.height, r);
    }
    return BoxBlur(image.pixels.get(), image.width, image.height, r);
}

// A 0x00BBGGRR colour as the first three bytes of a pixel read as a little-endian word: blue
// (bits 16-23) in byte 0, green in byte 1, red in byte 2; alpha 0.
inline uint32_t ColorWord(uint32_t color) {
    return ((color >> 16) & 0xFF) | (color & 0xFF00) | ((color & 0xFF) << 16);
}

inline void StorePixel(uint8_t* p, uint32_t word) { std::memcpy(p, &word, 4); }

// The face and border images share everything but the style record they read.
struct MaskedStyle {
    uint32_t color1, color2;
    int32_t gradType;
    uint32_t alpha;  // 0..255
    int32_t blurRadius;
};

HRESULT BuildMaskedLayer(LayerImage* out, MaskView mask, float x, float y, const MaskedStyle& style,
                     float sizeRatio, const LayerSettings& settings) {
    float r;
    int32_t m;
    if (!BlurRadius(style.blurRadius, sizeRatio, settings, mask.width, mask.height, &r, &m)) return E_INVALIDARG;
    const int64_t width = int64_t(mask.width) + 2 * int64_t(m);
    const int64_t height = int64_t(mask.height) + 2 * int64_t(m);
    if (!ImageSizeAllowed(width, height)) return E_INVALIDARG;
    const uint32_t c1 = FrameColor(style.color1, settings.colorMode);
    const uint32_t c2 = FrameColor(style.color2, settings.colorMode);
    // One colour without a blur margin writes every pixel below: nothing to clear first.
    if (c1 == c2 && m == 0) {
        out->pixels.reset(new (std::nothrow) uint8_t[size_t(width * height * 4)]);
    } else {
        out->pixels = AllocateZeroed(width * height * 4);
    }
    if (!out->pixels) return E_OUTOFMEMORY;
    out->width = int32_t(width);
    out->height = int32_t(height);
    out->x = x - float(m);
    out->y = y - float(m);

    const uint32_t opacity = style.alpha + 1;
    const size_t stride = size_t(width) * 4;
    uint8_t* origin = out->pixels.get() + size_t(m) * stride + size_t(m) * 4;
    if (c1 == c2) {
        // colour | ((v * opacity) >> 8) << 24 where v is not 0, else transparent black: the tinted
        // blur row of a single tap weighing `opacity` over a total of 256 (opacity <= 256).
        const uint32_t colour = ColorWord(c1);
        const GaussTintRowFn tint = ActiveFilterKernels().gaussTintRow;
        for (int32_t row = 0; row < mask.height; ++row) {
            const uint8_t* v = mask.pixels + size_t(row) * mask.width;
            tint(origin + row * stride, &v, &opacity, 1, 0, mask.width, 256, colour);
        }
        // The Gaussian gives every pixel it shows the colour its showing taps share.
        out->oneColour = r <= 0 || settings.qualityMode == 0 || settings.qualityMode == 1;
        out->colour = colour;
    } else {
        FillGradient(out->pixels.get(), out->width, out->height, c1, c2, style.gradType);
        for (int32_t row = 0; row < mask.height; ++row) {
            const uint8_t* v = mask.pixels + size_t(row) * mask.width;
            uint8_t* p = origin + row * stride;
            for (int32_t col = 0; col < mask.width; ++col, p += 4) p[3] = uint8_t((v[col] * opacity) >> 8);
        }
    }
    return Blur(*out, r, settings);
}

// StampMaxAlpha into bytes kStep apart: the alpha bytes of 4-byte pixels, or an alpha plane.
template <int kStep>
HRESULT StampMax(uint8_t* alphaBytes, int32_t imageWidth, int32_t imageHeight, const uint8_t* mask, int32_t maskW,
             int32_t maskH, float x, float y, uint8_t alpha) noexcept {
    if (!alphaBytes || !mask || imageWidth <= 0 || imageHeight <= 0 || maskW <= 0 || maskH <= 0) return E_INVALIDARG;
    if (!(std::fabs(x) < float(kMaxImageSide)) || !(std::fabs(y) < float(kMaxImageSide))) return S_OK;
    const int32_t left = static_cast<int32_t>(x);  // truncation towards zero
    const int32_t top = static_cast<int32_t>(y);
    const int32_t colBegin = std::max(0, -left), colEnd = std::min(maskW, imageWidth - left);
    const int32_t rowBegin = std::max(0, -top), rowEnd = std::min(maskH, imageHeight - top);
    const uint32_t weight = uint32_t(alpha) + 1;
    for (int32_t row = rowBegin; row < rowEnd; ++row) {
        const uint8_t* v = mask + size_t(row) * maskW;
        uint8_t* p = alphaBytes + (size_t(top + row) * imageWidth + size_t(left + colBegin)) * kStep;
        // Branch-free, so that the plane's form vectorises.
        for (int32_t col = colBegin; col < colEnd; ++col, p += kStep) *p = std::max(*p, uint8_t((weight * v[col]) >> 8));
    }
    return S_OK;
}

// The stamps that make a shadow's alpha: one at the blur margin for a flat shadow, or a run of
// stamps stepping from the character towards the offset for an extruded one (the character's own
// position is not stamped; an offset below one pixel along the main axis stamps nothing). The
// alpha goes into the image's pixels, or (alphaPlane) into W x H bytes of their own.
void StampShadow(const LayerImage& image, uint8_t* alphaPlane, MaskView mask, int32_t m, float dx, float dy,
                 bool extruded, uint8_t alpha) {
    const int32_t W = image.width, H = image.height;
    const int32_t mw = mask.width, mh = mask.height;
    auto stamp = [&](float x, float y) {
        if (alphaPlane) {
            StampMax<1>(alphaPlane, W, H, mask.pixels, mw, mh, x, y, alpha);
        } else {
            StampMax<4>(image.pixels.get() + 3, W, H, mask.pixels, mw, mh, x, y, alpha);
        }
    };
    if (!extruded || (dx == 0 && dy == 0)) {
        stamp(float(m), float(m));
        return;
    }
    if (std::fabs(dy) < std::fabs(dx)) {
        // Steps along x; t is the matching y offset, measured from the side the slab starts.
        auto row = [&](float t) { return t + float(t < 0 ? H - mh - m : m); };
        if (dx >= 1) {
            for (float i = 1; i <= dx; i += 1) {
                const float t = (1 / dx) * i * dy;
                stamp(float(m) + i, row(t));
            }
        } else if (dx <= -1) {
            for (float i = dx; i <= -1; i += 1) {
                const float t = (1 / dx) * i * dy;
                stamp(float(W - mw - m) + i, row(t));
            }
        }
    } else {
        auto column = [&](float t) { return t + float(t < 0 ? W - mw - m : m); };
        if (dy >= 1) {
            for (float j = 1; j <= dy; j += 1) {
                const float t = (1 / dy) * j * dx;
                stamp(column(t), float(m) + j);
            }
        } else if (dy <= -1) {
            for (float j = dy; j <= -1; j += 1) {
                const float t = (1 / dy) * j * dx;
                stamp(column(t), float(H - mh - m) + j);
            }
        }
    }
}

}  // namespace

uint32_t FrameColor(uint32_t color, int32_t colorMode) {
    if (colorMode != 1) return color;
    int y, cb, cr;
    RgbToYcc(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF), &y, &cb, &cr);
    return uint32_t(y & 0xFF) | uint32_t(cb & 0xFF) << 8 | uint32_t(cr & 0xFF) << 16;
}

HRESULT StampMaxAlpha(uint8_t* pixels, int32_t imageWidth, int32_t imageHeight, const uint8_t* mask,
                  int32_t maskW, int32_t maskH, float x, float y, uint8_t alpha) noexcept {
    return StampMax<4>(pixels ? pixels + 3 : nullptr, imageWidth, imageHeight, mask, maskW, maskH, x, y, alpha);
}

HRESULT BuildOutlineMasks(const uint8_t* glyph, int32_t w, int32_t h, float bx, float by,
                      OutlineMasks* out) noexcept {
    *out = OutlineMasks{};
    if (!glyph || w <= 0 || h <= 0 || !(bx >= 0) || !(by >= 0) || !(bx <= kMaxKernelHalf) ||
        !(by <= kMaxKernelHalf)) {
        return E_INVALIDARG;
    }
    const int32_t mx = static_cast<int32_t>(std::ceil(bx));
    const int32_t my = static_cast<int32_t>(std::ceil(by));
    const int64_t width = int64_t(w) + 2 * int64_t(mx);
    const int64_t height = int64_t(h) + 2 * int64_t(my);
    if (!ImageSizeAllowed(width, height)) return E_INVALIDARG;

    OutlineMasks masks;
    masks.width = int32_t(width);
    masks.height = int32_t(height);
    masks.marginX = mx;
    masks.marginY = my;
    masks.ring = AllocateZeroed(width * height);
    masks.full.reset(new (std::nothrow) uint8_t[size_t(width * height)]);
    if (!masks.ring || !masks.full) return E_OUTOFMEMORY;

    if (mx != 0 || my != 0) {
        OutlineKernelRef kernel;
        if (const HRESULT hr = GetOutlineKernel(bx, by, &kernel); hr != S_OK) return hr;
        if (const HRESULT hr = DilateMask(glyph, w, h, w, masks.ring.get(), masks.width, masks.height, masks.width,
                       kernel->cells.get(), kernel->halfW, kernel->halfH); hr != S_OK) {
            return hr;
        }
        // Dilated minus glyph leaves the ring. Every covered glyph pixel dilated to 255 at its
        // own position, so this never goes below zero.
        for (int32_t row = 0; row < h; ++row) {
            uint8_t* d = masks.ring.get() + size_t(row + my) * masks.width + mx;
            const uint8_t* g = glyph + size_t(row) * w;
            for (int32_t col = 0; col < w; ++col) d[col] = uint8_t(std::max(0, d[col] - g[col]));
        }
    }
    // full = ring + glyph, saturating.
    std::memcpy(masks.full.get(), masks.ring.get(), size_t(width * height));
    for (int32_t row = 0; row < h; ++row) {
        uint8_t* d = masks.full.get() + size_t(row + my) * masks.width + mx;
        const uint8_t* g = glyph + size_t(row) * w;
        for (int32_t col = 0; col < w; ++col) d[col] = uint8_t(std::min(255, d[col] + g[col]));
    }
    *out = std::move(masks);
    return S_OK;
}

HRESULT BuildFaceLayer(LayerImage* out, MaskView glyph, float x, float y, const MetaFace& face,
                   float sizeRatio, const LayerSettings& settings) noexcept {
    out->Reset();
    if ((face.Enable & 0xFF) == 0 || glyph.Empty()) return S_OK;
    const MaskedStyle style{face.Color1, face.Color2, face.GradType, face.Alpha & 0xFF, face.BlurRadius};
    return BuildMaskedLayer(out, glyph, x, y, style, sizeRatio, settings);
}

HRESULT BuildColorFaceLayer(LayerImage* out, const uint8_t* pixels, int32_t w, int32_t h, float x, float y,
                        const MetaFace& face, float sizeRatio, const LayerSettings& settings) noexcept {
    out->Reset();
    if ((face.Enable & 0xFF) == 0 || !pixels || w <= 0 || h <= 0) return S_OK;
    float r;
    int32_t m;
    if (!BlurRadius(face.BlurRadius, sizeRatio, settings, w, h, &r, &m)) return E_INVALIDARG;
    const int64_t width = int64_t(w) + 2 * int64_t(m), height = int64_t(h) + 2 * int64_t(m);
    if (!ImageSizeAllowed(width, height)) return E_INVALIDARG;
    out->pixels = AllocateZeroed(width * height * 4);
    if (!out->pixels) return E_OUTOFMEMORY;
    out->width = int32_t(width);
    out->height = int32_t(height);
    out->x = x - float(m);
    out->y = y - float(m);
    const uint32_t opacity = (face.Alpha & 0xFF) + 1;
    for (int32_t row = 0; row < h; ++row) {
        const uint8_t* src = pixels + size_t(row) * size_t(w) * 4;
        uint8_t* dst = out->pixels.get() + (size_t(row + m) * size_t(width) + size_t(m)) * 4;
        for (int32_t col = 0; col < w; ++col, src += 4, dst += 4) {
            if (src[3] == 0) continue;
            // The pixel as a model colour 0x00BBGGRR, through the frame's colour mode.
            const uint32_t color = FrameColor(uint32_t(src[2]) | uint32_t(src[1]) << 8 | uint32_t(src[0]) << 16,
                                              settings.colorMode);
            StorePixel(dst, ColorWord(color) | ((src[3] * opacity) >> 8) << 24);
        }
    }
    return Blur(*out, r, settings);
}

HRESULT BuildBorderLayer(LayerImage* out, MaskView ring, float x, float y, const MetaBorder& border,
                     float sizeRatio, const LayerSettings& settings) noexcept {
    out->Reset();
    // A border narrower than one unit has an all-zero ring: no image at all rather than a
    // transparent one.
    if ((border.Enable & 0xFF) == 0 || border.Size < 1 || ring.Empty()) return S_OK;
    const MaskedStyle style{border.Color1, border.Color2, border.GradType, border.Alpha & 0xFF,
                            border.BlurRadius};
    return BuildMaskedLayer(out, ring, x, y, style, sizeRatio, settings);
}

HRESULT BuildShadowLayer(LayerImage* out, MaskView glyph, MaskView full, MaskView ring, float px,
                     float py, const MetaShadow& shadow, float sizeRatio,
                     const LayerSettings& settings) noexcept {
    out->Reset();
    const bool withFace = (shadow.EnableFace & 0xFF) != 0;
    const bool withBorder = (shadow.EnableBorder & 0xFF) != 0;
    MaskView mask;
    if (withFace && withBorder) {
        mask = full.Empty() ? glyph : full;
    } else if (withFace) {
        mask = glyph;
    } else if (withBorder) {
        mask = ring;
    }
    if (mask.Empty()) return S_OK;

    const float dx = shadow.OffsetX * settings.scaleX;
    const float dy = shadow.OffsetY * settings.scaleY;
    if (!std::isfinite(dx) || !std::isfinite(dy) || std::fabs(dx) > float(kMaxImageSide) ||
        std::fabs(dy) > float(kMaxImageSide)) {
        return E_INVALIDARG;
    }
    const bool extruded = shadow.Height != 0;
    // An extruded slab reaches the offset further.
    const int64_t reachX = extruded ? int64_t(std::ceil(std::fabs(dx))) : 0;
    const int64_t reachY = extruded ? int64_t(std::ceil(std::fabs(dy))) : 0;
    float r;
    int32_t m;
    if (!BlurRadius(shadow.BlurRadius, sizeRatio, settings, mask.width + reachX, mask.height + reachY, &r, &m))
        return E_INVALIDARG;
    int64_t width, height;
    float x, y;
    if (!extruded) {
        width = int64_t(mask.width) + 2 * int64_t(m);
        height = int64_t(mask.height) + 2 * int64_t(m);
        x = px - float(m) + dx;
        y = py - float(m) + dy;
    } else {
        width = static_cast<int64_t>(float(2 * m) + std::fabs(dx) + float(mask.width));
        height = static_cast<int64_t>(float(2 * m) + std::fabs(dy) + float(mask.height));
        x = px - float(m) + std::min(dx, 0.0f);
        y = py - float(m) + std::min(dy, 0.0f);
    }
    if (!ImageSizeAllowed(width, height)) return E_INVALIDARG;
    out->width = int32_t(width);
    out->height = int32_t(height);
    out->x = x;
    out->y = y;
    const uint8_t alpha = uint8_t(shadow.Alpha & 0xFF);
    const uint32_t c1 = FrameColor(shadow.Color1, settings.colorMode);
    const uint32_t c2 = FrameColor(shadow.Color2, settings.colorMode);
    if (c1 != c2) {
        out->pixels = AllocateZeroed(width * height * 4);
        if (!out->pixels) return E_OUTOFMEMORY;
        StampShadow(*out, nullptr, mask, m, dx, dy, extruded, alpha);
        FillGradient(out->pixels.get(), out->width, out->height, c1, c2, shadow.GradType);
        return Blur(*out, r, settings);
    }

    // One colour: the stamps go into an alpha plane, and the pixels inside the blur margin that
    // show get the colour (those outside, which no stamp reaches in practice, keep colour 0).
    // When that leaves every showing pixel in the colour, the Gaussian is taken from the alpha
    // plane alone, which gives the same bytes for a quarter of the work.
    const std::unique_ptr<uint8_t[]> plane = AllocateZeroed(width * height);
    if (!plane) return E_OUTOFMEMORY;
    StampShadow(*out, plane.get(), mask, m, dx, dy, extruded, alpha);
    const uint32_t colour = ColorWord(c1);
    const int32_t W = out->width, H = out->height;
    auto inside = [&](int32_t col, int32_t row) { return row >= m && row < H - m && col >= m && col < W - m; };
    auto clear = [&](int32_t row, int32_t from, int32_t to) {
        const uint8_t* a = plane.get() + size_t(row) * W;
        return std::all_of(a + std::max(from, 0), a + std::min(to, W), [](uint8_t v) { return v == 0; });
    };
    bool oneColour = true;
    for (int32_t row = 0; row < H && oneColour; ++row) {
        oneColour = row < m || row >= H - m ? clear(row, 0, W) : clear(row, 0, m) && clear(row, W - m, W);
    }
    if (r > 0 && oneColour && (settings.qualityMode == 0 || settings.qualityMode == 1)) {
        out->pixels.reset(new (std::nothrow) uint8_t[size_t(width * height * 4)]);
        if (!out->pixels) return E_OUTOFMEMORY;
        // A refused blur leaves the image sharp, as below.
        out->oneColour = true;
        out->colour = colour;
        return GaussianBlurOneColour(out->pixels.get(), plane.get(), W, H, r, colour);
    }
    out->pixels = AllocateZeroed(width * height * 4);
    if (!out->pixels) return E_OUTOFMEMORY;
    for (int32_t row = 0; row < H; ++row) {
        const uint8_t* a = plane.get() + size_t(row) * W;
        uint8_t* p = out->pixels.get() + size_t(row) * W * 4;
        for (int32_t col = 0; col < W; ++col) {
            const uint32_t shade = uint32_t(a[col]) << 24;
            StorePixel(p + 4 * col, a[col] != 0 && inside(col, row) ? shade | colour : shade);
        }
    }
    return Blur(*out, r, settings);
}

}  // namespace qel
