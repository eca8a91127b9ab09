// AVX2 Gaussian row kernel: eight pixels per step. This file is compiled with -mavx2 and must be
// reached only through the table chosen for a processor that has AVX2. Unpacking, shuffling and
// packing all work within each 128-bit half, so pixel j and pixel j + 4 share a vector and come
// back to their places in the final pack.
#include <cstddef>
#include <cstdint>

#include "render/FilterKernels.h"
#include "render/SimdLanes_avx2.h"

namespace qel {
namespace {

#include "render/SimdFilterKernels.h"

}  // namespace

const FilterKernels& Avx2FilterKernels() {
    static const FilterKernels table = {"avx2", GaussRowT<Avx2>, GaussAlphaRowOnlyT<Avx2>, GaussAlphaRowT<Avx2, true>,
                                        DilateRowT<Avx2>, MaxRowT<Avx2>, DilateChordsT<Avx2>,
                                        DilatePrepT<Avx2>};
    return table;
}

}  // namespace qel
