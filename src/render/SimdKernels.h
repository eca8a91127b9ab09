// The row kernels behind the compositing primitives, in a plain scalar form that states the
// arithmetic and in SSE2 and AVX2 forms that must give the same bytes. One table per instruction
// set; the primitives run through the table chosen once for the processor. Tests compare every
// table with the scalar one.
//
// Pixels are 4 bytes, three colour bytes then alpha. A row kernel works on `count` consecutive
// pixels (count >= 0); source and destination rows may not overlap unless they are the same row
// and need no particular alignment.
#pragma once

#include <cstdint>

#include "render/SimdSupport.h"

namespace qel {

// Fixed for one PlaceLayer call.
struct PlaceRowParams {
    // Bilinear weights in 16-bit fixed point (each truncated, sum <= 65536) of the upper-left,
    // upper-right, lower-left and lower-right samples.
    uint32_t w00 = 0, w10 = 0, w01 = 0, w11 = 0;
    uint32_t opacity = 255;  // 1..255
    // For the one-colour kernel: the colour every sample that shows has, in a pixel word's low
    // three bytes.
    uint32_t colour = 0;
};

// dst/src: `count` pixels each.
using BlendRowFn = void (*)(uint8_t* dst, const uint8_t* src, int32_t count);
using PremultiplyRowFn = void (*)(uint8_t* pixels, int32_t count);
// Target pixel i takes its samples from upper[i], upper[i + 1], lower[i] and lower[i + 1]
// (straight pixels, count + 1 readable in each row) and is written into the premultiplied dst[i].
using PlaceRowFn = void (*)(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
                            const PlaceRowParams& params);
// PlaceRow at a whole-pixel position onto empty (all-zero) dst pixels, from `count` pixels of a
// PrepareWholePlacement row (Blend.h); opacity 0..255.
using PlaceWholeRowFn = void (*)(uint8_t* dst, const uint8_t* prepared, int32_t count, uint32_t opacity);

struct BlendKernels {
    const char* name;
    BlendRowFn blendOverKeepAlpha;
    BlendRowFn blendOverOpaque;
    BlendRowFn blendStraightOpaque;
    PremultiplyRowFn premultiply;
    PlaceRowFn placeRow;
    // placeRow for samples that all show one colour (params.colour): their average is that
    // colour, so only alpha is interpolated. Same bytes as placeRow on such samples.
    PlaceRowFn placeRowOneColour;
    PlaceWholeRowFn placeWholeRow;
};

// The reference kernels; the SIMD kernels also use them for the last pixels of a row.
namespace scalar {
void BlendOverKeepAlphaRow(uint8_t* dst, const uint8_t* src, int32_t count);
void BlendOverOpaqueRow(uint8_t* dst, const uint8_t* src, int32_t count);
void BlendStraightOpaqueRow(uint8_t* dst, const uint8_t* src, int32_t count);
void PremultiplyRow(uint8_t* pixels, int32_t count);
void PlaceRow(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
              const PlaceRowParams& params);
void PlaceRowOneColour(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
                       const PlaceRowParams& params);
void PlaceWholeRow(uint8_t* dst, const uint8_t* prepared, int32_t count, uint32_t opacity);
}  // namespace scalar

const BlendKernels& ScalarBlendKernels();
const BlendKernels& Sse2BlendKernels();
const BlendKernels& Avx2BlendKernels();
// The table for a level; a level the processor lacks must not be asked for.
const BlendKernels& BlendKernelsFor(SimdLevel level);
// The table for ActiveSimdLevel(), chosen on first use.
const BlendKernels& ActiveBlendKernels();

}  // namespace qel
