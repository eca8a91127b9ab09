// The 8-bit coverage mask of one glyph, already scaled, stretched and turned for the frame, from
// the font engine's anti-aliased rendering under a 2 x 2 matrix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "model/TitleModel.h"

namespace qel {

struct GlyphCoverage {
    std::unique_ptr<uint8_t[]> mask;  // 0 = not covered, 255 = covered; rows top to bottom
    int32_t width = 0;                // row stride in pixels (may exceed the black box)
    int32_t height = 0;
    float originX = 0, originY = 0;  // black box's upper-left relative to the origin, y upwards
};

// How the frame wants glyphs: the render settings' scales and quality, and whether the
// character stands in vertical text (codes below 128 are then turned a quarter turn clockwise).
struct GlyphRequest {
    float frameScaleX = 1, frameScaleY = 1;
    int32_t qualityMode = 1;
    bool vertical = false;
};

// Non-zero on success (the byte count of the mask); 0 with *out empty on failure: degenerate or
// non-finite matrix, a glyph without ink (a space), no face, no memory. code is a code point (a
// surrogate pair's whole character); one the font lacks, a lone surrogate among them, gives its
// missing glyph. Thread-safe: any number of threads may call it at once.
int GetGlyphCoverage(char32_t code, const MetaFont& font, float scaleX, float scaleY,
                     float angleDegrees, const GlyphRequest& request, GlyphCoverage* out) noexcept;

// The most glyphs one cluster draws; a cluster that shapes into more draws its first ones.
constexpr size_t kMaxClusterGlyphs = 8;

// The same for the glyphs of a shaped cluster, given by index in the font and placed from the
// cluster's origin, drawn as one shape with the cluster's origin as the origin.
// A colour cluster (emoji): its pixels (blue, green, red, straight alpha) and its alpha as the
// coverage mask that border and shadow grow from, both placed like a GlyphCoverage.
struct ColorCoverage {
    std::unique_ptr<uint8_t[]> pixels;  // width x height x 4
    GlyphCoverage alpha;                // mask, width, height and origin
};

// Non-zero when the cluster's font draws it in colour; 0 (out empty) when it has no colour image,
// and the cluster is drawn as coverage instead.
int GetClusterColor(const ClusterGlyph* glyphs, size_t count, const MetaFont& font, float scaleX, float scaleY,
                    float angleDegrees, const GlyphRequest& request, ColorCoverage* out) noexcept;

int GetClusterCoverage(const ClusterGlyph* glyphs, size_t count, const MetaFont& font, float scaleX,
                       float scaleY, float angleDegrees, const GlyphRequest& request, GlyphCoverage* out) noexcept;

}  // namespace qel
