// AVX2 row kernels: eight pixels per step. This file is compiled with -mavx2 and must be reached
// only through the table chosen for a processor that has AVX2. Unpacking and packing both work
// within each 128-bit half, so pixels keep their places through the widened arithmetic.
#include <cstdint>

#include "render/SimdKernels.h"
#include "render/SimdLanes_avx2.h"

namespace qel {
namespace {

#include "render/SimdBlendKernels.h"

}  // namespace

const BlendKernels& Avx2BlendKernels() {
    static const BlendKernels table = {"avx2",
                                       BlendOverKeepAlphaRowT<Avx2>,
                                       BlendOverOpaqueRowT<Avx2>,
                                       BlendStraightOpaqueRowT<Avx2>,
                                       PremultiplyRowT<Avx2>,
                                       PlaceRowT<Avx2>,
                                       PlaceRowT<Avx2, true>,
                                       PlaceWholeRowT<Avx2>};
    return table;
}

}  // namespace qel
