// AVX2 row kernels: eight pixels per step. This file is compiled with -mavx2 and must be reached
// only through the table chosen for a processor that has AVX2. Unpacking and packing both work
// within each 128-bit half, so pixels keep their places through the widened arithmetic.
#include <immintrin.h>

#include <cstdint>

#include "render/SimdKernels.h"

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
    static I Set1_64(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
    static F Set1F(float v) { return _mm256_set1_ps(v); }
    static I And(I a, I b) { return _mm256_and_si256(a, b); }
    static I Or(I a, I b) { return _mm256_or_si256(a, b); }
    static I Xor(I a, I b) { return _mm256_xor_si256(a, b); }
    static I AndNot(I a, I b) { return _mm256_andnot_si256(a, b); }
    static I Add16(I a, I b) { return _mm256_add_epi16(a, b); }
    static I Sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
    static I Add32(I a, I b) { return _mm256_add_epi32(a, b); }
    static I Sub32(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I MulLo16(I a, I b) { return _mm256_mullo_epi16(a, b); }
    static I MulHiU16(I a, I b) { return _mm256_mulhi_epu16(a, b); }
    template <int n> static I Srl16(I v) { return _mm256_srli_epi16(v, n); }
    template <int n> static I Sll16(I v) { return _mm256_slli_epi16(v, n); }
    template <int n> static I Srl32(I v) { return _mm256_srli_epi32(v, n); }
    template <int n> static I Sll32(I v) { return _mm256_slli_epi32(v, n); }
    static I CmpEq32(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I CmpGt32(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    static I UnpackLo8(I a, I b) { return _mm256_unpacklo_epi8(a, b); }
    static I UnpackHi8(I a, I b) { return _mm256_unpackhi_epi8(a, b); }
    static I UnpackLo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
    static I UnpackHi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
    static I PackUS16(I a, I b) { return _mm256_packus_epi16(a, b); }
    static bool AllSet(I mask) { return _mm256_movemask_epi8(mask) == -1; }
    static I BroadcastAlpha16(I v) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF); }
    static F ToFloat(I v) { return _mm256_cvtepi32_ps(v); }
    static I Truncate(F v) { return _mm256_cvttps_epi32(v); }
    static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
    static F AddF(F a, F b) { return _mm256_add_ps(a, b); }
};

#include "render/SimdBlendKernels.h"

}  // namespace

const BlendKernels& Avx2BlendKernels() {
    static const BlendKernels table = {"avx2",
                                       BlendOverKeepAlphaRowT<Avx2>,
                                       BlendOverOpaqueRowT<Avx2>,
                                       BlendStraightOpaqueRowT<Avx2>,
                                       PremultiplyRowT<Avx2>,
                                       PlaceRowT<Avx2>};
    return table;
}

}  // namespace qel
