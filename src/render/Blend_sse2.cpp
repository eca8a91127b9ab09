// SSE2 row kernels: four pixels per step. SSE2 is part of x86-64, so this table needs no check.
#include <cstdint>

#include "render/SimdKernels.h"
#include "render/SimdLanes_sse2.h"

namespace qel {
namespace {

#include "render/SimdBlendKernels.h"

}  // namespace

const BlendKernels& Sse2BlendKernels() {
    static const BlendKernels table = {"sse2",
                                       BlendOverKeepAlphaRowT<Sse2>,
                                       BlendOverOpaqueRowT<Sse2>,
                                       BlendStraightOpaqueRowT<Sse2>,
                                       PremultiplyRowT<Sse2>,
                                       PlaceRowT<Sse2>,
                                       PlaceRowT<Sse2, true>,
                                       PlaceWholeRowT<Sse2>};
    return table;
}

}  // namespace qel
