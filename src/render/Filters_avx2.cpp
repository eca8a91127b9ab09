// AVX2 Gaussian row kernel: eight pixels per step. This file is compiled with -mavx2 and must be
// reached only through the table chosen for a processor that has AVX2. Unpacking, shuffling and
// packing all work within each 128-bit half, so pixel j and pixel j + 4 share a vector and come
// back to their places in the final pack.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "render/FilterKernels.h"

namespace qel {
namespace {

struct Avx2 {
    using I = __m256i;
    using F = __m256;
    static constexpr int32_t kPixels = 8;

    static I Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(uint8_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static I Zero() { return _mm256_setzero_si256(); }
    static I Set1_32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static I SetPixel32(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return _mm256_setr_epi32(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d),
                                 static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d));
    }
    static F Set1F(float v) { return _mm256_set1_ps(v); }
    static I And(I a, I b) { return _mm256_and_si256(a, b); }
    static I Or(I a, I b) { return _mm256_or_si256(a, b); }
    static I AndNot(I a, I b) { return _mm256_andnot_si256(a, b); }
    static I Add32(I a, I b) { return _mm256_add_epi32(a, b); }
    static I Sub32(I a, I b) { return _mm256_sub_epi32(a, b); }
    template <int n> static I Srl32(I v) { return _mm256_srli_epi32(v, n); }
    template <int imm> static I Shuffle32(I v) { return _mm256_shuffle_epi32(v, imm); }
    static I CmpEq32(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I UnpackLo8(I a, I b) { return _mm256_unpacklo_epi8(a, b); }
    static I UnpackHi8(I a, I b) { return _mm256_unpackhi_epi8(a, b); }
    static I Madd16(I a, I b) { return _mm256_madd_epi16(a, b); }
    static I PackS32(I a, I b) { return _mm256_packs_epi32(a, b); }
    static I PackUS16(I a, I b) { return _mm256_packus_epi16(a, b); }
    static bool AllSet(I mask) { return _mm256_movemask_epi8(mask) == -1; }
    static F ToFloat(I v) { return _mm256_cvtepi32_ps(v); }
    static I Truncate(F v) { return _mm256_cvttps_epi32(v); }
    static F AsFloat(I v) { return _mm256_castsi256_ps(v); }
    static I AsInt(F v) { return _mm256_castps_si256(v); }
    static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
    static F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
    static F DivF(F a, F b) { return _mm256_div_ps(a, b); }
    static I CmpLtF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LT_OQ)); }
    static I CmpGeF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_GE_OQ)); }
};

#include "render/SimdFilterKernels.h"

}  // namespace

const FilterKernels& Avx2FilterKernels() {
    static const FilterKernels table = {"avx2", GaussRowT<Avx2>};
    return table;
}

}  // namespace qel
