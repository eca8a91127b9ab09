// Avx2: the vector interface V of the SIMD kernel templates (SimdBlendKernels.h,
// SimdFilterKernels.h) over 256-bit registers, eight BGRA pixels per vector. Thin wrappers, one
// instruction each unless noted; AndNot(a, b) = ~a & b, and comparisons give all-ones lanes.
// Unpacking, shuffling and packing work within each 128-bit half, as the kernels expect.
//
// Include only from *_avx2.cpp files (the only ones compiled with -mavx2). The struct has internal
// linkage, so its inline members are never merged at link time into code that runs on processors
// without AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "render/SimdLanes_sse2.h"

namespace qel {
namespace {

struct Avx2 {
    using I = __m256i;
    using F = __m256;
    static constexpr int32_t kPixels = 8;
    // The 128-bit interface, for rows narrower than one of these vectors.
    using Half = Sse2;

    static I Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(uint8_t* p, I v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static I Zero() { return _mm256_setzero_si256(); }
    static I Set1_32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    static I Set1_64(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
    // One 4-lane pattern in every pixel.
    static I SetPixel32(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return _mm256_setr_epi32(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d),
                                 static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d));
    }
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
    // Signed 16-bit pairs multiplied and added into 32-bit lanes.
    static I Madd16(I a, I b) { return _mm256_madd_epi16(a, b); }
    template <int n> static I Srl16(I v) { return _mm256_srli_epi16(v, n); }
    template <int n> static I Sll16(I v) { return _mm256_slli_epi16(v, n); }
    template <int n> static I Srl32(I v) { return _mm256_srli_epi32(v, n); }
    template <int n> static I Sll32(I v) { return _mm256_slli_epi32(v, n); }

    static I CmpEq32(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    static I CmpGt32(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    // True when every byte of the mask is set.
    static bool AllSet(I mask) { return _mm256_movemask_epi8(mask) == -1; }

    template <int imm> static I Shuffle32(I v) { return _mm256_shuffle_epi32(v, imm); }
    static I UnpackLo8(I a, I b) { return _mm256_unpacklo_epi8(a, b); }
    static I UnpackHi8(I a, I b) { return _mm256_unpackhi_epi8(a, b); }
    static I UnpackLo16(I a, I b) { return _mm256_unpacklo_epi16(a, b); }
    static I UnpackHi16(I a, I b) { return _mm256_unpackhi_epi16(a, b); }
    static I UnpackLo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
    static I UnpackHi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
    static I PackS32(I a, I b) { return _mm256_packs_epi32(a, b); }
    static I PackUS16(I a, I b) { return _mm256_packus_epi16(a, b); }
    // Each pixel's fourth 16-bit lane (alpha, once widened) copied to its other three: two shuffles.
    static I BroadcastAlpha16(I v) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF); }

    static I Set1_16(int16_t v) { return _mm256_set1_epi16(v); }
    static I MaxU8(I a, I b) { return _mm256_max_epu8(a, b); }
    static I Max16(I a, I b) { return _mm256_max_epi16(a, b); }  // signed
    static I MinU8(I a, I b) { return _mm256_min_epu8(a, b); }
    static I CmpEq8(I a, I b) { return _mm256_cmpeq_epi8(a, b); }
    static I CmpEq16(I a, I b) { return _mm256_cmpeq_epi16(a, b); }
    // The bytes of PackUS16(a, b) in the order of a's then b's lanes (the pack works per half).
    static I PackOrder(I v) { return _mm256_permute4x64_epi64(v, 0xD8); }
    // Four vectors of 32-bit words, as UnpackLo8/Hi8 twice spread 32 consecutive bytes (each
    // within its half), stored as 32 consecutive words.
    static void StoreQuads(uint8_t* p, I a, I b, I c, I d) {
        Store(p, _mm256_permute2x128_si256(a, b, 0x20));
        Store(p + 32, _mm256_permute2x128_si256(c, d, 0x20));
        Store(p + 64, _mm256_permute2x128_si256(a, b, 0x31));
        Store(p + 96, _mm256_permute2x128_si256(c, d, 0x31));
    }

    static F ToFloat(I v) { return _mm256_cvtepi32_ps(v); }
    static I Truncate(F v) { return _mm256_cvttps_epi32(v); }
    static F AsFloat(I v) { return _mm256_castsi256_ps(v); }
    static I AsInt(F v) { return _mm256_castps_si256(v); }
    static F AddF(F a, F b) { return _mm256_add_ps(a, b); }
    static F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
    static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
    static F DivF(F a, F b) { return _mm256_div_ps(a, b); }
    // Ordered comparisons (false for NaN), as integer lane masks.
    static I CmpLtF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LT_OQ)); }
    static I CmpGeF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_GE_OQ)); }
};

}  // namespace
}  // namespace qel
