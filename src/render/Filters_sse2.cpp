// SSE2 Gaussian row kernel: four pixels per step. SSE2 is part of x86-64, so this table needs no
// check.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "render/FilterKernels.h"

namespace qel {
namespace {

struct Sse2 {
    using I = __m128i;
    using F = __m128;
    static constexpr int32_t kPixels = 4;

    static I Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint8_t* p, I v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static I Zero() { return _mm_setzero_si128(); }
    static I Set1_32(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
    static I SetPixel32(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return _mm_setr_epi32(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d));
    }
    static F Set1F(float v) { return _mm_set1_ps(v); }
    static I And(I a, I b) { return _mm_and_si128(a, b); }
    static I Or(I a, I b) { return _mm_or_si128(a, b); }
    static I AndNot(I a, I b) { return _mm_andnot_si128(a, b); }
    static I Add32(I a, I b) { return _mm_add_epi32(a, b); }
    static I Sub32(I a, I b) { return _mm_sub_epi32(a, b); }
    template <int n> static I Srl32(I v) { return _mm_srli_epi32(v, n); }
    template <int imm> static I Shuffle32(I v) { return _mm_shuffle_epi32(v, imm); }
    static I CmpEq32(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I UnpackLo8(I a, I b) { return _mm_unpacklo_epi8(a, b); }
    static I UnpackHi8(I a, I b) { return _mm_unpackhi_epi8(a, b); }
    static I Madd16(I a, I b) { return _mm_madd_epi16(a, b); }
    static I PackS32(I a, I b) { return _mm_packs_epi32(a, b); }
    static I PackUS16(I a, I b) { return _mm_packus_epi16(a, b); }
    static bool AllSet(I mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
    static F ToFloat(I v) { return _mm_cvtepi32_ps(v); }
    static I Truncate(F v) { return _mm_cvttps_epi32(v); }
    static F AsFloat(I v) { return _mm_castsi128_ps(v); }
    static I AsInt(F v) { return _mm_castps_si128(v); }
    static F MulF(F a, F b) { return _mm_mul_ps(a, b); }
    static F SubF(F a, F b) { return _mm_sub_ps(a, b); }
    static F DivF(F a, F b) { return _mm_div_ps(a, b); }
    static I CmpLtF(F a, F b) { return _mm_castps_si128(_mm_cmplt_ps(a, b)); }
    static I CmpGeF(F a, F b) { return _mm_castps_si128(_mm_cmpge_ps(a, b)); }
};

#include "render/SimdFilterKernels.h"

}  // namespace

const FilterKernels& Sse2FilterKernels() {
    static const FilterKernels table = {"sse2", GaussRowT<Sse2>};
    return table;
}

}  // namespace qel
