// SSE2 Gaussian row kernel: four pixels per step. SSE2 is part of x86-64, so this table needs no
// check.
#include <cstddef>
#include <cstdint>

#include "render/FilterKernels.h"
#include "render/SimdLanes_sse2.h"

namespace qel {
namespace {

#include "render/SimdFilterKernels.h"

}  // namespace

const FilterKernels& Sse2FilterKernels() {
    static const FilterKernels table = {"sse2", GaussRowT<Sse2>, GaussAlphaRowOnlyT<Sse2>, GaussAlphaRowT<Sse2, true>,
                                        DilateRowT<Sse2>, MaxRowT<Sse2>, DilateChordsT<Sse2>,
                                        DilatePrepT<Sse2>};
    return table;
}

}  // namespace qel
