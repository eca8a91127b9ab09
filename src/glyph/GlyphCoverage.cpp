// Glyph coverage: the font engine renders the glyph under a 2 x 2 matrix that carries the
// character's size, its stretch and its turn, at one of four anti-aliasing depths; the levels it
// returns are then spread over 0..255.
//
// The matrix entries are 16.16 fixed point, truncated, exactly as a screen font engine takes them,
// so the same request always gives the same bitmap. Grey levels 1..n become v * k - 1 with
// k = 256 / n, so the top level is 255 and the bottom non-zero level k - 1; monochrome bits become
// 255 or 0 bytes.
#include "glyph/GlyphCoverage.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <new>
#include <utility>
#include <vector>

#include "platform/AllocationGate.h"
#include "platform/FontEngine.h"

namespace qel {

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;

// value x 65536 truncated to 16.16; false for a value the format cannot hold (or a NaN).
bool ToFixed(double value, int32_t* out) {
    const double scaled = value * 65536.0;
    if (!(scaled > -2147483648.0 && scaled < 2147483648.0)) return false;
    *out = static_cast<int32_t>(scaled);
    return true;
}

struct Depth {
    GlyphFormat format;
    int factor;  // k of v * k - 1; 0 for one bit per pixel
};

Depth DepthOf(int32_t qualityMode) {
    switch (qualityMode) {
        case 0: return {GlyphFormat::Gray8, 4};    // 65 levels
        case 2: return {GlyphFormat::Gray2, 64};   // 5 levels
        case 3: return {GlyphFormat::Bitmap, 0};   // 2 levels
        default: return {GlyphFormat::Gray4, 16};  // 17 levels
    }
}

// code is the character drawn by its code point, or, when glyphs is not null, the first character
// of a shaped cluster whose glyphs are drawn together.
int Coverage(const FontFace& face, char32_t code, const ClusterGlyph* glyphs, size_t glyphCount, const MetaFont& font,
             float scaleX, float scaleY, float angleDegrees, const GlyphRequest& request, GlyphCoverage* out) {
    const float sx = font.SizeRatio * request.frameScaleX * scaleX;
    const float sy = font.SizeRatio * request.frameScaleY * scaleY;
    float theta = angleDegrees;
    // Latin, and runs that lie on their side, turn a quarter turn clockwise in a column, so that
    // they read from top to bottom.
    if ((request.vertical && code < 128) || request.sideways) theta += 90;
    const double r = -static_cast<double>(theta) * kRadiansPerDegree;
    const double c = std::cos(r), s = std::sin(r);

    GlyphMatrix m;
    if (!ToFixed(c * sx, &m.m11) || !ToFixed(s * sx, &m.m12) || !ToFixed(-s * sy, &m.m21) ||
        !ToFixed(c * sy, &m.m22))
        return 0;
    if ((m.m11 == 0 && m.m12 == 0) || (m.m21 == 0 && m.m22 == 0)) return 0;  // degenerate
    if (!face) return 0;

    const Depth depth = DepthOf(request.qualityMode);
    GlyphBitmap glyph;
    uint32_t bytes = 0;
    if (glyphs) {
        PlacedGlyph placed[kMaxClusterGlyphs];
        glyphCount = std::min(glyphCount, kMaxClusterGlyphs);
        for (size_t g = 0; g < glyphCount; ++g) placed[g] = {glyphs[g].index, glyphs[g].x, glyphs[g].y};
        bytes = face.GetGlyphsBitmap(placed, glyphCount, depth.format, m, &glyph);
    } else {
        bytes = face.GetGlyphBitmap(code, depth.format, m, &glyph);
    }
    if (bytes == 0) return 0;  // no ink (a space) or no glyph: the caller drops the images
    const int32_t height = glyph.box.blackBoxY;
    if (height <= 0 || glyph.box.blackBoxX <= 0) return 0;

    if (depth.format == GlyphFormat::Bitmap) {
        const int32_t width = (glyph.box.blackBoxX + 31) & ~31;
        const size_t rowBytes = static_cast<size_t>(width) / 8;
        if (size_t(height) * rowBytes > bytes) return 0;
        std::unique_ptr<uint8_t[]> mask(new (std::nothrow) uint8_t[size_t(width) * height]);
        if (!mask) {
            NoteAllocationFailure();
            return 0;
        }
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* src = glyph.bits.get() + y * rowBytes;
            uint8_t* dst = mask.get() + size_t(y) * width;
            for (int32_t x = 0; x < width; ++x) dst[x] = (src[x >> 3] & (0x80u >> (x & 7))) ? 255 : 0;
        }
        out->mask = std::move(mask);
        out->width = width;
    } else {
        // Rows are padded to 4 bytes; the stride is the narrowest multiple of 4 covering the
        // black box that divides the byte count.
        int32_t width = (glyph.box.blackBoxX + 3) & ~3;
        while (bytes % uint32_t(width) != 0 && uint64_t(height) * (width + 4) <= bytes) width += 4;
        if (uint64_t(height) * width > bytes) return 0;
        uint8_t* p = glyph.bits.get();
        const uint32_t used = uint32_t(height) * uint32_t(width);
        // Branch-free (0 stays 0), so that it vectorises.
        for (uint32_t i = 0; i < used; ++i) p[i] = static_cast<uint8_t>(p[i] * depth.factor - (p[i] != 0 ? 1 : 0));
        out->mask = std::move(glyph.bits);
        out->width = width;
    }
    out->height = height;
    out->originX = static_cast<float>(glyph.box.originX);
    out->originY = static_cast<float>(glyph.box.originY);
    return depth.format == GlyphFormat::Bitmap ? out->width * out->height : static_cast<int>(bytes);
}

}  // namespace

namespace {

// The colour image of a cluster in a colour face (emoji), and its alpha as its mask; 0 (out
// untouched) when the face has no colour image for it. May throw std::bad_alloc.
int ClusterColor(const FontFace& face, const ClusterGlyph* glyphs, size_t count, const MetaFont& font, float scaleX,
                 float scaleY, float angleDegrees, const GlyphRequest& request, ColorCoverage* out) {
    GlyphMatrix m;
    const float sx = font.SizeRatio * request.frameScaleX * scaleX;
    const float sy = font.SizeRatio * request.frameScaleY * scaleY;
    const double r = -static_cast<double>(angleDegrees) * kRadiansPerDegree;
    const double c = std::cos(r), s = std::sin(r);
    if (!ToFixed(c * sx, &m.m11) || !ToFixed(s * sx, &m.m12) || !ToFixed(-s * sy, &m.m21) ||
        !ToFixed(c * sy, &m.m22))
        return 0;
    if ((m.m11 == 0 && m.m12 == 0) || (m.m21 == 0 && m.m22 == 0)) return 0;

    // Each glyph's image at its place (the place turned and scaled like the glyph), then all
    // of them laid over each other in order into one image.
    struct Piece {
        ColorBitmap bitmap;
        int32_t x, y;  // upper-left corner from the cluster's origin, y upwards
    };
    std::vector<Piece> pieces;
    int32_t left = INT32_MAX, top = INT32_MIN, right = INT32_MIN, bottom = INT32_MAX;
    for (size_t g = 0; g < std::min(count, kMaxClusterGlyphs); ++g) {
        Piece piece;
        if (face.GetColorGlyph(glyphs[g].index, m, &piece.bitmap) == 0) continue;
        const double ox = m.m11 / 65536.0 * glyphs[g].x + m.m21 / 65536.0 * glyphs[g].y;
        const double oy = m.m12 / 65536.0 * glyphs[g].x + m.m22 / 65536.0 * glyphs[g].y;
        piece.x = piece.bitmap.originX + int32_t(std::lround(ox));
        piece.y = piece.bitmap.originY + int32_t(std::lround(oy));
        left = std::min(left, piece.x);
        top = std::max(top, piece.y);
        right = std::max(right, piece.x + piece.bitmap.width);
        bottom = std::min(bottom, piece.y - piece.bitmap.height);
        pieces.push_back(std::move(piece));
    }
    if (pieces.empty()) return 0;
    const int64_t width = int64_t(right) - left, height = int64_t(top) - bottom;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || width * height > (int64_t{1} << 26))
        return 0;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size_t(width * height * 4)]());
    std::unique_ptr<uint8_t[]> mask(new (std::nothrow) uint8_t[size_t(width * height)]());
    if (!pixels || !mask) {
        NoteAllocationFailure();
        return 0;
    }
    for (const Piece& piece : pieces) {
        for (int32_t row = 0; row < piece.bitmap.height; ++row) {
            const uint8_t* src = piece.bitmap.pixels.get() + size_t(row) * size_t(piece.bitmap.width) * 4;
            uint8_t* dst = pixels.get() + (size_t(top - piece.y + row) * size_t(width) + size_t(piece.x - left)) * 4;
            for (int32_t col = 0; col < piece.bitmap.width; ++col, src += 4, dst += 4) {
                // Straight-alpha "over".
                const uint32_t a = src[3], b = dst[3];
                if (a == 0) continue;
                const uint32_t outA = a + b * (255 - a) / 255;
                for (int k = 0; k < 3; ++k)
                    dst[k] = uint8_t((src[k] * a + dst[k] * b * (255 - a) / 255) / std::max(outA, 1u));
                dst[3] = uint8_t(outA);
            }
        }
    }
    for (int64_t i = 0; i < width * height; ++i) mask[size_t(i)] = pixels[size_t(i) * 4 + 3];
    out->pixels = std::move(pixels);
    out->alpha.mask = std::move(mask);
    out->alpha.width = int32_t(width);
    out->alpha.height = int32_t(height);
    out->alpha.originX = float(left);
    out->alpha.originY = float(top);
    return int(width * height);
}

}  // namespace

int GetCharacterCoverage(char32_t code, const ClusterGlyph* glyphs, size_t count, const MetaFont& font, float scaleX,
                         float scaleY, float angleDegrees, const GlyphRequest& request, ColorCoverage* out) noexcept {
    if (!out) return 0;
    *out = ColorCoverage{};
    if (!glyphs) count = 0;
    try {
        const FontFace face = FontFace::Open(font.LogFont);
        if (!face) return 0;
        if (count > 0 && face.IsColor()) {
            // Without memory for the colour image the cluster is still drawn as coverage.
            try {
                if (int result = ClusterColor(face, glyphs, count, font, scaleX, scaleY, angleDegrees, request, out)) {
                    return result;
                }
            } catch (const std::bad_alloc&) {
                NoteAllocationFailure();
            }
            *out = ColorCoverage{};
        }
        // Shaped glyphs stand upright in the line unless they lie on their side: the code passed
        // for a cluster only keeps the turn of ASCII off.
        if (int result = Coverage(face, count > 0 ? char32_t(0x10000) : code, count > 0 ? glyphs : nullptr, count,
                                  font, scaleX, scaleY, angleDegrees, request, &out->alpha)) {
            return result;
        }
    } catch (const std::bad_alloc&) {
        NoteAllocationFailure();  // out of memory in the font caches: worth asking again later
    } catch (...) {
    }
    *out = ColorCoverage{};
    return 0;
}

// A single code point: the one path above with no cluster.
int GetGlyphCoverage(char32_t code, const MetaFont& font, float scaleX, float scaleY, float angleDegrees,
                     const GlyphRequest& request, GlyphCoverage* out) noexcept {
    if (!out) return 0;
    ColorCoverage coverage;
    const int result = GetCharacterCoverage(code, nullptr, 0, font, scaleX, scaleY, angleDegrees, request, &coverage);
    *out = std::move(coverage.alpha);
    return result;
}

}  // namespace qel
