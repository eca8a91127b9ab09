// Compositing primitives. The scalar row kernels below are the definition of every operation's
// arithmetic; the SIMD tables (Blend_sse2.cpp, Blend_avx2.cpp) reproduce them bit for bit. Each
// primitive clips its rectangle to the frame, then runs a row kernel over the rows inside it.
#include "render/Blend.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "render/SimdKernels.h"

namespace qel {
namespace {

constexpr int kAlpha = 3;  // byte index of alpha within a pixel

// floor(n / d) for 0 <= n <= 65280 and 1 <= d <= 255 as (n * kReciprocal[d]) >> 24. With
// kReciprocal[d] = ceil(2^24 / d) the excess n * (kReciprocal[d] * d - 2^24) stays below 2^24 for
// every such n, which keeps the quotient exact.
constexpr std::array<uint64_t, 256> MakeReciprocals() {
    std::array<uint64_t, 256> table{};
    for (uint64_t d = 1; d < 256; ++d) table[d] = ((uint64_t{1} << 24) + d - 1) / d;
    return table;
}
constexpr std::array<uint64_t, 256> kReciprocal = MakeReciprocals();

inline uint32_t DivideByte(uint32_t n, uint32_t d) { return static_cast<uint32_t>((n * kReciprocal[d]) >> 24); }

inline uint8_t Saturate(uint32_t v) { return static_cast<uint8_t>(v > 255 ? 255 : v); }

// The pixel rectangle of `rect` inside a frame, or false when nothing of it is in the frame.
struct FrameSpan {
    ptrdiff_t offset;  // bytes from the frame base to the first pixel
    int32_t width, height, stride;
};

bool ClipToFrame(int32_t frameWidth, int32_t frameHeight, const RECT& rect, FrameSpan* span) {
    if (frameWidth <= 0 || frameHeight <= 0 || frameWidth > INT32_MAX / 4) return false;
    const int32_t left = std::max(rect.left, 0);
    const int32_t top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, frameWidth);
    const int32_t bottom = std::min(rect.bottom, frameHeight);
    if (left >= right || top >= bottom) return false;
    span->offset = (static_cast<ptrdiff_t>(top) * frameWidth + left) * 4;
    span->width = right - left;
    span->height = bottom - top;
    span->stride = frameWidth * 4;
    return true;
}

template <class RowFn>
void ForEachRow(uint8_t* image, int32_t width, int32_t height, int32_t stride, RowFn row) {
    if (!image || width <= 0 || height <= 0) return;
    for (int32_t y = 0; y < height; ++y) row(image + static_cast<ptrdiff_t>(y) * stride, width);
}

void ForEachRowPair(BlendRowFn kernel, uint8_t* dst, const uint8_t* src, int32_t width, int32_t height,
                    int32_t stride) {
    if (!dst || !src || width <= 0 || height <= 0) return;
    stride &= ~3;  // the packed blends address whole 32-bit pixels
    for (int32_t y = 0; y < height; ++y) {
        const ptrdiff_t offset = static_cast<ptrdiff_t>(y) * stride;
        kernel(dst + offset, src + offset, width);
    }
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Reference kernels

namespace scalar {

// s.a = 0: d unchanged. s.a = 255 or d.a = 0: d = s. Otherwise, with t = ((255 - Sa)(255 - Da)) >> 8:
//   Dc' = min(255, Sc + ((Dc (255 - Sa)) >> 8)),  Da' = 255 - t.
void BlendOverKeepAlphaRow(uint8_t* dst, const uint8_t* src, int32_t count) {
    for (int32_t i = 0; i < count; ++i, dst += 4, src += 4) {
        const uint32_t sa = src[kAlpha];
        if (sa == 0) continue;
        const uint32_t da = dst[kAlpha];
        if (sa == 255 || da == 0) {
            std::memcpy(dst, src, 4);
            continue;
        }
        const uint32_t t = ((255 - sa) * (255 - da)) >> 8;
        if (t == 255) continue;  // cannot happen for da > 0; kept as the formula's guard
        for (int c = 0; c < 3; ++c) dst[c] = Saturate(src[c] + ((dst[c] * (255 - sa)) >> 8));
        dst[kAlpha] = static_cast<uint8_t>(255 - t);
    }
}

// s.a = 0: f unchanged. s.a = 255: f = s. Otherwise Fc' = min(255, Sc + ((Fc (256 - Sa)) >> 8)), Fa' = 255.
void BlendOverOpaqueRow(uint8_t* dst, const uint8_t* src, int32_t count) {
    for (int32_t i = 0; i < count; ++i, dst += 4, src += 4) {
        const uint32_t sa = src[kAlpha];
        if (sa == 0) continue;
        if (sa == 255) {
            std::memcpy(dst, src, 4);
            continue;
        }
        for (int c = 0; c < 3; ++c) dst[c] = Saturate(src[c] + ((dst[c] * (256 - sa)) >> 8));
        dst[kAlpha] = 255;
    }
}

// s.a = 0: f unchanged. s.a = 255: f = s. Otherwise Fc' = Fc + floor((Sc - Fc) Sa / 256), Fa' = 255.
// Fc * 256 + (Sc - Fc) Sa = Fc (256 - Sa) + Sc Sa lies in 0..65280, so the result needs no clamp.
void BlendStraightOpaqueRow(uint8_t* dst, const uint8_t* src, int32_t count) {
    for (int32_t i = 0; i < count; ++i, dst += 4, src += 4) {
        const int32_t sa = src[kAlpha];
        if (sa == 0) continue;
        if (sa == 255) {
            std::memcpy(dst, src, 4);
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            const int32_t f = dst[c];
            dst[c] = static_cast<uint8_t>(std::clamp(f + (((src[c] - f) * sa) >> 8), 0, 255));
        }
        dst[kAlpha] = 255;
    }
}

// c' = (a (c + 1)) >> 8 for each colour byte; this is the identity for a = 255.
void PremultiplyRow(uint8_t* pixels, int32_t count) {
    for (int32_t i = 0; i < count; ++i, pixels += 4) {
        const uint32_t a = pixels[kAlpha];
        if (a == 255) continue;
        for (int c = 0; c < 3; ++c) pixels[c] = static_cast<uint8_t>((a * (pixels[c] + 1u)) >> 8);
    }
}

// The placed pixel (premultiplied colour p, alpha A > 0) laid over d:
//   A = 255 or Da = 0: d = (p, A).
//   Otherwise t = ((255 - Da)(256 - A)) >> 8, Da' = 255 - t, Dc' = min(255, Pc + ((Dc (256 - A)) >> 8)).
inline void LayOver(uint8_t* dst, const uint32_t p[3], uint32_t a) {
    const uint32_t da = dst[kAlpha];
    if (a == 255 || da == 0) {
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>(p[c]);
        dst[kAlpha] = static_cast<uint8_t>(a);
        return;
    }
    const uint32_t t = ((255 - da) * (256 - a)) >> 8;
    dst[kAlpha] = static_cast<uint8_t>(255 - t);
    if (t == 255) return;  // cannot happen for da > 0; kept as the formula's guard
    for (int c = 0; c < 3; ++c) dst[c] = Saturate(p[c] + ((dst[c] * (256 - a)) >> 8));
}

// Bilinear alpha A = ((sum of sample alpha x weight) >> 16) (opacity + 1) >> 8; colour is the plain
// average of the samples that show, premultiplied by (A + 1) >> 8, then laid over d (LayOver).
void PlaceRow(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
              const PlaceRowParams& params) {
    const uint32_t opacity1 = params.opacity + 1;
    for (int32_t i = 0; i < count; ++i, dst += 4, upper += 4, lower += 4) {
        const uint8_t* samples[4] = {upper, upper + 4, lower, lower + 4};
        uint32_t a = (samples[0][kAlpha] * params.w00 + samples[1][kAlpha] * params.w10 +
                      samples[2][kAlpha] * params.w01 + samples[3][kAlpha] * params.w11) >> 16;
        a = (a * opacity1) >> 8;
        if (a == 0) continue;

        uint32_t sum[3] = {0, 0, 0};
        uint32_t showing = 0;
        for (const uint8_t* s : samples) {
            if (s[kAlpha] == 0) continue;
            ++showing;
            for (int c = 0; c < 3; ++c) sum[c] += s[c];
        }
        uint32_t p[3];
        for (int c = 0; c < 3; ++c) {
            // a > 0 needs a sample that shows, so showing >= 1.
            const uint32_t average = showing == 4 ? sum[c] >> 2 : sum[c] / showing;
            p[c] = (average * (a + 1)) >> 8;
        }

        LayOver(dst, p, a);
    }
}

// PlaceRow where every sample that shows has the colour C: the plain average of those samples is
// C, so p = (C (A + 1)) >> 8 and the rest is PlaceRow's.
void PlaceRowOneColour(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
                       const PlaceRowParams& params) {
    const uint32_t opacity1 = params.opacity + 1;
    const uint32_t colour[3] = {params.colour & 0xFF, (params.colour >> 8) & 0xFF, (params.colour >> 16) & 0xFF};
    for (int32_t i = 0; i < count; ++i, dst += 4, upper += 4, lower += 4) {
        uint32_t a = (upper[kAlpha] * params.w00 + upper[4 + kAlpha] * params.w10 + lower[kAlpha] * params.w01 +
                      lower[4 + kAlpha] * params.w11) >> 16;
        a = (a * opacity1) >> 8;
        if (a == 0) continue;
        uint32_t p[3];
        for (int c = 0; c < 3; ++c) p[c] = (colour[c] * (a + 1)) >> 8;
        LayOver(dst, p, a);
    }
}

// PlaceRow's arithmetic with the weight all on the pixel itself: A = (a (opacity + 1)) >> 8,
// colour (average (A + 1)) >> 8, written whole as the destination is empty. Branch-free: A = 0
// gives colour 0, an empty pixel again.
void PlaceWholeRow(uint8_t* dst, const uint8_t* prepared, int32_t count, uint32_t opacity) {
    const uint32_t opacity1 = opacity + 1;
    for (int32_t i = 0; i < count; ++i, dst += 4, prepared += 4) {
        const uint32_t a = (prepared[kAlpha] * opacity1) >> 8;
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>((prepared[c] * (a + 1)) >> 8);
        dst[kAlpha] = static_cast<uint8_t>(a);
    }
}

}  // namespace scalar

const BlendKernels& ScalarBlendKernels() {
    static const BlendKernels table = {"scalar",
                                       scalar::BlendOverKeepAlphaRow,
                                       scalar::BlendOverOpaqueRow,
                                       scalar::BlendStraightOpaqueRow,
                                       scalar::PremultiplyRow,
                                       scalar::PlaceRow,
                                       scalar::PlaceRowOneColour,
                                       scalar::PlaceWholeRow};
    return table;
}

const BlendKernels& BlendKernelsFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::Avx2: return Avx2BlendKernels();
        case SimdLevel::Sse2: return Sse2BlendKernels();
        case SimdLevel::Scalar: break;
    }
    return ScalarBlendKernels();
}

const BlendKernels& ActiveBlendKernels() {
    static const BlendKernels& table = BlendKernelsFor(ActiveSimdLevel());
    return table;
}

// ----------------------------------------------------------------------------------------------
// Primitives

void Premultiply(uint8_t* image, int32_t width, int32_t height, int32_t stride) {
    const PremultiplyRowFn kernel = ActiveBlendKernels().premultiply;
    ForEachRow(image, width, height, stride, kernel);
}

void Premultiply(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect) {
    FrameSpan span;
    if (frame && ClipToFrame(frameWidth, frameHeight, rect, &span))
        Premultiply(frame + span.offset, span.width, span.height, span.stride);
}

// c' = max(0, (256 c) / a - 1) for a != 0, saturated at 255 (a colour above its alpha is not
// premultiplied and would overflow the byte).
void Unpremultiply(uint8_t* image, int32_t width, int32_t height, int32_t stride) {
    ForEachRow(image, width, height, stride, [](uint8_t* row, int32_t count) {
        for (int32_t i = 0; i < count; ++i, row += 4) {
            const uint32_t a = row[kAlpha];
            if (a == 0) continue;
            for (int c = 0; c < 3; ++c) {
                const uint32_t q = DivideByte(uint32_t{row[c]} << 8, a);
                row[c] = q == 0 ? 0 : Saturate(q - 1);
            }
        }
    });
}

void Unpremultiply(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect) {
    FrameSpan span;
    if (frame && ClipToFrame(frameWidth, frameHeight, rect, &span))
        Unpremultiply(frame + span.offset, span.width, span.height, span.stride);
}

void BlendOverKeepAlpha(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t stride) {
    ForEachRowPair(ActiveBlendKernels().blendOverKeepAlpha, dst, src, width, height, stride);
}

void BlendOverKeepAlpha(uint8_t* dst, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                        const RECT& rect) {
    FrameSpan span;
    if (dst && src && ClipToFrame(frameWidth, frameHeight, rect, &span))
        BlendOverKeepAlpha(dst + span.offset, src + span.offset, span.width, span.height, span.stride);
}

void BlendOverOpaque(uint8_t* frame, const uint8_t* src, int32_t width, int32_t height, int32_t stride) {
    ForEachRowPair(ActiveBlendKernels().blendOverOpaque, frame, src, width, height, stride);
}

void BlendOverOpaque(uint8_t* frame, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                     const RECT& rect) {
    FrameSpan span;
    if (frame && src && ClipToFrame(frameWidth, frameHeight, rect, &span))
        BlendOverOpaque(frame + span.offset, src + span.offset, span.width, span.height, span.stride);
}

void BlendStraightOpaque(uint8_t* frame, const uint8_t* src, int32_t width, int32_t height, int32_t stride) {
    ForEachRowPair(ActiveBlendKernels().blendStraightOpaque, frame, src, width, height, stride);
}

void BlendStraightOpaque(uint8_t* frame, const uint8_t* src, int32_t frameWidth, int32_t frameHeight,
                         const RECT& rect) {
    FrameSpan span;
    if (frame && src && ClipToFrame(frameWidth, frameHeight, rect, &span))
        BlendStraightOpaque(frame + span.offset, src + span.offset, span.width, span.height, span.stride);
}

// F.a = 255 or B.a = 0: B = F. F.a = 0: B unchanged. Otherwise, with u = min(255, Fa + Ba):
//   Bc' = min(255, (u (((256 - Fa) Bc) / Ba + Fc)) >> 8),  Ba' = u.
// The alphas add rather than combine as in "over", so no seam shows where the anti-aliased edges
// of face and border meet. Premultiplied input never reaches the saturation.
//
// Most pixels of a string's layers are empty, so four pixels at a time are first tested for the two
// cases that need no arithmetic, giving what the per-pixel rule gives: face and border both empty
// (nothing changes) and no border alpha (the face is copied).
namespace {

void MergePixel(uint8_t* b, const uint8_t* f) {
    const uint32_t fa = f[kAlpha];
    const uint32_t ba = b[kAlpha];
    if (fa == 255 || ba == 0) {
        std::memcpy(b, f, 4);
        return;
    }
    if (fa == 0) return;
    const uint32_t u = std::min(255u, fa + ba);
    for (int c = 0; c < 3; ++c) b[c] = Saturate((u * (DivideByte((256 - fa) * b[c], ba) + f[c])) >> 8);
    b[kAlpha] = static_cast<uint8_t>(u);
}

}  // namespace

void MergeFaceOverBorder(uint8_t* border, const uint8_t* face, int32_t width, int32_t height, int32_t stride) {
    if (!border || !face || width <= 0 || height <= 0) return;
    constexpr uint64_t kAlphas = 0xFF000000FF000000ull;  // alpha bytes of two little-endian pixels
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* b = border + static_cast<ptrdiff_t>(y) * stride;
        const uint8_t* f = face + static_cast<ptrdiff_t>(y) * stride;
        int32_t x = 0;
        for (; x + 4 <= width; x += 4, b += 16, f += 16) {
            uint64_t fq[2], bq[2];
            std::memcpy(fq, f, 16);
            std::memcpy(bq, b, 16);
            if ((fq[0] | fq[1] | bq[0] | bq[1]) == 0) continue;
            if (((bq[0] | bq[1]) & kAlphas) == 0) {
                std::memcpy(b, f, 16);
                continue;
            }
            for (int k = 0; k < 16; k += 4) MergePixel(b + k, f + k);
        }
        for (; x < width; ++x, b += 4, f += 4) MergePixel(b, f);
    }
}

void MergeFaceOverBorder(uint8_t* border, const uint8_t* face, int32_t frameWidth, int32_t frameHeight,
                         const RECT& rect) {
    FrameSpan span;
    if (border && face && ClipToFrame(frameWidth, frameHeight, rect, &span))
        MergeFaceOverBorder(border + span.offset, face + span.offset, span.width, span.height, span.stride);
}

// ----------------------------------------------------------------------------------------------
// PlaceLayer
//
// The image sits at (ix + fx, iy + fy) with ix, iy whole and fx, fy in [0, 1). Target pixel
// (X, Y) mixes image pixels (sx - 1, sy - 1), (sx, sy - 1), (sx - 1, sy), (sx, sy) with
// sx = X - ix, sy = Y - iy; a fractional offset therefore widens the target by one column or row.
// The rows are copied into scratch rows with a transparent pixel on each side, so the row kernel
// reads every sample without bounds checks.

namespace {

// Positions beyond this many pixels cannot reach any layer; larger ones are not converted to int.
constexpr float kMaxPosition = 1 << 30;

// Padded pixels [from, to) of image row `row` (or of a transparent row when outside the image)
// framed by one transparent pixel on each side: padded pixel p is image pixel p - 1, and the
// frame and rows outside are transparent. Only what the kernel reads is filled, so that a
// clip narrower than the image costs its own width.
void FillPaddedRow(uint8_t* padded, const uint8_t* image, int32_t width, int32_t height, int64_t row, int64_t from,
                   int64_t to) {
    const int64_t first = std::max<int64_t>(from, 1), last = std::min<int64_t>(to, int64_t{width} + 1);
    if (row < 0 || row >= height || first >= last) {
        std::memset(padded + from * 4, 0, static_cast<size_t>(to - from) * 4);
        return;
    }
    if (from < first) std::memset(padded + from * 4, 0, static_cast<size_t>(first - from) * 4);
    std::memcpy(padded + first * 4, image + (row * width + first - 1) * 4, static_cast<size_t>(last - first) * 4);
    if (last < to) std::memset(padded + last * 4, 0, static_cast<size_t>(to - last) * 4);
}

}  // namespace

HRESULT PlaceLayer(uint8_t* layer, int32_t layerWidth, int32_t layerHeight, const RECT& clip,
                   const uint8_t* image, int32_t width, int32_t height, float x, float y, uint8_t opacity) {
    return PlaceLayer(layer, 0, 0, layerWidth, layerHeight, clip, image, width, height, x, y, opacity);
}

HRESULT PlaceLayer(uint8_t* layer, int32_t originX, int32_t originY, int32_t layerWidth, int32_t layerHeight,
                   const RECT& clip, const uint8_t* image, int32_t width, int32_t height, float x, float y,
                   uint8_t opacity, const uint32_t* oneColour) {
    if (!layer || !image || layerWidth <= 0 || layerHeight <= 0 || width <= 0 || height <= 0) return E_INVALIDARG;
    if (opacity == 0) return S_OK;  // nothing to draw
    if (!std::isfinite(x) || !std::isfinite(y)) return E_INVALIDARG;
    if (std::fabs(x) > kMaxPosition || std::fabs(y) > kMaxPosition) return S_OK;  // nowhere near the layer
    if (width > INT32_MAX / 4 - 2 || layerWidth > INT32_MAX / 4) return E_INVALIDARG;

    const float floorX = std::floor(x);
    const float floorY = std::floor(y);
    const int64_t ix = static_cast<int64_t>(floorX);
    const int64_t iy = static_cast<int64_t>(floorY);
    const float fx = x - floorX;  // exact: a float minus its floor
    const float fy = y - floorY;

    const int64_t left = std::max<int64_t>({ix, clip.left, originX});
    const int64_t top = std::max<int64_t>({iy, clip.top, originY});
    const int64_t right = std::min<int64_t>({ix + width + (fx != 0 ? 1 : 0), clip.right, int64_t{originX} + layerWidth});
    const int64_t bottom =
        std::min<int64_t>({iy + height + (fy != 0 ? 1 : 0), clip.bottom, int64_t{originY} + layerHeight});
    if (left >= right || top >= bottom) return S_OK;

    PlaceRowParams params;
    params.w00 = static_cast<uint32_t>(fx * fy * 65536.0f);
    params.w10 = static_cast<uint32_t>((1.0f - fx) * fy * 65536.0f);
    params.w01 = static_cast<uint32_t>(fx * (1.0f - fy) * 65536.0f);
    params.w11 = static_cast<uint32_t>((1.0f - fx) * (1.0f - fy) * 65536.0f);
    params.opacity = opacity;
    params.colour = oneColour ? *oneColour & 0x00FFFFFFu : 0;

    // Two padded rows; small images keep them on the stack.
    const size_t paddedBytes = (static_cast<size_t>(width) + 2) * 4;
    constexpr size_t kStackPixels = 1024;
    alignas(64) uint8_t stackRows[2 * (kStackPixels + 2) * 4];
    const bool onStack = static_cast<size_t>(width) <= kStackPixels;
    AlignedBuffer heapRows(onStack ? 0 : 2 * paddedBytes);
    if (!onStack && !heapRows) return E_OUTOFMEMORY;
    uint8_t* rows = onStack ? stackRows : heapRows.Data();
    uint8_t* upper = rows;
    uint8_t* lower = rows + paddedBytes;

    const PlaceRowFn kernel = oneColour ? ActiveBlendKernels().placeRowOneColour : ActiveBlendKernels().placeRow;
    const int32_t count = static_cast<int32_t>(right - left);
    // Padded samples sx - 1 .. sx of every target column: [left - ix, right - ix].
    const int64_t from = left - ix, to = right - ix + 1;
    const size_t firstSample = static_cast<size_t>(from) * 4;
    FillPaddedRow(lower, image, width, height, top - iy - 1, from, to);
    for (int64_t targetY = top; targetY < bottom; ++targetY) {
        const int64_t sy = targetY - iy;
        std::swap(upper, lower);  // the previous lower row is this row's upper row
        FillPaddedRow(lower, image, width, height, sy, from, to);
        uint8_t* target = layer + ((targetY - originY) * layerWidth + (left - originX)) * 4;
        kernel(target, upper + firstSample, lower + firstSample, count, params);
    }
    return S_OK;
}

void PrepareWholePlacement(const uint8_t* image, int32_t width, int32_t height, uint8_t* prepared) {
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* self = image + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4;
            uint8_t* out = prepared + (self - image);
            std::memset(out, 0, 4);
            if (self[kAlpha] == 0) continue;  // PlaceLayer draws nothing there
            // The samples PlaceLayer reads for this pixel: up-left, up, left, itself.
            const uint8_t* samples[4] = {x > 0 && y > 0 ? self - stride - 4 : nullptr, y > 0 ? self - stride : nullptr,
                                         x > 0 ? self - 4 : nullptr, self};
            uint32_t sum[3] = {0, 0, 0}, showing = 0;
            for (const uint8_t* sample : samples) {
                if (!sample || sample[kAlpha] == 0) continue;
                ++showing;
                for (int c = 0; c < 3; ++c) sum[c] += sample[c];
            }
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(showing == 4 ? sum[c] >> 2 : sum[c] / showing);
            out[kAlpha] = self[kAlpha];
        }
    }
}

void PlaceWholeOnEmpty(uint8_t* dst, const uint8_t* prepared, int32_t count, uint8_t opacity) {
    if (count > 0) ActiveBlendKernels().placeWholeRow(dst, prepared, count, opacity);
}

}  // namespace qel
