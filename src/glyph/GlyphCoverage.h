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
    bool sideways = false;  // a shaped cluster of a run that lies on its side in a column: turned likewise
};

// Non-zero on success (the byte count of the mask); 0 with *out empty on failure: degenerate or
// non-finite matrix, a glyph without ink (a space), no face, no memory. code is a code point (a
// surrogate pair's whole character); one the font lacks, a lone surrogate among them, gives its
// missing glyph. Thread-safe: any number of threads may call it at once.
int GetGlyphCoverage(char32_t code, const MetaFont& font, float scaleX, float scaleY,
                     float angleDegrees, const GlyphRequest& request, GlyphCoverage* out) noexcept;

// The most glyphs one cluster draws; a cluster that shapes into more draws its first ones.
constexpr size_t kMaxClusterGlyphs = 8;

// A character's coverage with its face opened once: for a shaped cluster (glyphs, count > 0) in
// a colour face, its colour image (blue, green, red, straight alpha in pixels) when the face has
// one, with its alpha as the mask that border and shadow grow from; otherwise the cluster's
// glyphs, placed from its origin and drawn as one shape, or for count 0 the code point alone
// (as GetGlyphCoverage), in out->alpha with out->pixels null. Non-zero on success (the mask's
// byte count), 0 with *out empty as GetGlyphCoverage fails. Thread-safe.
struct ColorCoverage {
    std::unique_ptr<uint8_t[]> pixels;  // width x height x 4, or null
    GlyphCoverage alpha;                // mask, width, height and origin
};
int GetCharacterCoverage(char32_t code, const ClusterGlyph* glyphs, size_t count, const MetaFont& font, float scaleX,
                         float scaleY, float angleDegrees, const GlyphRequest& request, ColorCoverage* out) noexcept;

}  // namespace qel
