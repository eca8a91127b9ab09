// The row kernel behind the Gaussian blur, in a plain scalar form that states the arithmetic and
// in SSE2 and AVX2 forms that must give the same bytes. One table per instruction set; the blur
// runs through the table chosen once for the processor (QEL_FORCE_SCALAR=1 picks the scalar one).
//
// Pixels are 4 bytes, three colour bytes then straight alpha.
#pragma once

#include <cstdint>

#include "render/SimdSupport.h"

namespace qel {

// One output row of a blur pass: for every x in [begin, end), over the taps k = 0 .. count - 1
// with p = taps[k] + 4x and w'_k = weights[k] where p's alpha is not 0 and 0 where it is,
//   Wc = sum w'_k;  colour = (sum w'_k * colour) / Wc;  alpha = (sum w'_k * alpha) / total,
// in integer divisions, and (0, 0, 0, 0) where Wc = 0. The result goes to out + 4x.
// Preconditions: sum of weights <= total; out does not overlap any tap row in [begin, end).
// The SIMD kernels also need every weight <= 32767 and total <= 65535 (so that each sum stays
// below 2^24 and is exact in a float); GaussTapsSimdReady tells.
using GaussRowFn = void (*)(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights,
                            int32_t count, int32_t begin, int32_t end, uint32_t total);

struct FilterKernels {
    const char* name;
    GaussRowFn gaussRow;
};

namespace scalar {
void GaussRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
              int32_t begin, int32_t end, uint32_t total);
}  // namespace scalar

bool GaussTapsSimdReady(const uint32_t* weights, int32_t count, uint32_t total);

const FilterKernels& ScalarFilterKernels();
const FilterKernels& Sse2FilterKernels();
const FilterKernels& Avx2FilterKernels();
// The table for a level; a level the processor lacks must not be asked for.
const FilterKernels& FilterKernelsFor(SimdLevel level);
// The table for ActiveSimdLevel(), chosen on first use.
const FilterKernels& ActiveFilterKernels();

// GaussianBlur through the given table (the public GaussianBlur uses the active one); tests run
// every table against the scalar one.
int GaussianBlurWith(const FilterKernels& kernels, uint8_t* pixels, int32_t width, int32_t height,
                     float radius);

}  // namespace qel
