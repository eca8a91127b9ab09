// Sse2: the vector interface V of the SIMD kernel templates (SimdBlendKernels.h,
// SimdFilterKernels.h) over 128-bit registers, four BGRA pixels per vector. Thin wrappers, one
// instruction each unless noted; AndNot(a, b) = ~a & b, and comparisons give all-ones lanes.
//
// Include only from *_sse2.cpp files. The struct has internal linkage, so its inline members are
// never merged at link time with a copy compiled under other instruction-set flags.
#pragma once

#include <emmintrin.h>

#include <cstdint>

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
    static I Set1_64(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }
    // One 4-lane pattern in every pixel.
    static I SetPixel32(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return _mm_setr_epi32(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d));
    }
    static F Set1F(float v) { return _mm_set1_ps(v); }

    static I And(I a, I b) { return _mm_and_si128(a, b); }
    static I Or(I a, I b) { return _mm_or_si128(a, b); }
    static I Xor(I a, I b) { return _mm_xor_si128(a, b); }
    static I AndNot(I a, I b) { return _mm_andnot_si128(a, b); }

    static I Add16(I a, I b) { return _mm_add_epi16(a, b); }
    static I Sub16(I a, I b) { return _mm_sub_epi16(a, b); }
    static I Add32(I a, I b) { return _mm_add_epi32(a, b); }
    static I Sub32(I a, I b) { return _mm_sub_epi32(a, b); }
    static I MulLo16(I a, I b) { return _mm_mullo_epi16(a, b); }
    static I MulHiU16(I a, I b) { return _mm_mulhi_epu16(a, b); }
    // Signed 16-bit pairs multiplied and added into 32-bit lanes.
    static I Madd16(I a, I b) { return _mm_madd_epi16(a, b); }
    template <int n> static I Srl16(I v) { return _mm_srli_epi16(v, n); }
    template <int n> static I Sll16(I v) { return _mm_slli_epi16(v, n); }
    template <int n> static I Srl32(I v) { return _mm_srli_epi32(v, n); }
    template <int n> static I Sll32(I v) { return _mm_slli_epi32(v, n); }

    static I CmpEq32(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I CmpGt32(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    // True when every byte of the mask is set.
    static bool AllSet(I mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }

    template <int imm> static I Shuffle32(I v) { return _mm_shuffle_epi32(v, imm); }
    static I UnpackLo8(I a, I b) { return _mm_unpacklo_epi8(a, b); }
    static I UnpackHi8(I a, I b) { return _mm_unpackhi_epi8(a, b); }
    static I UnpackLo16(I a, I b) { return _mm_unpacklo_epi16(a, b); }
    static I UnpackHi16(I a, I b) { return _mm_unpackhi_epi16(a, b); }
    static I UnpackLo32(I a, I b) { return _mm_unpacklo_epi32(a, b); }
    static I UnpackHi32(I a, I b) { return _mm_unpackhi_epi32(a, b); }
    static I PackS32(I a, I b) { return _mm_packs_epi32(a, b); }
    static I PackUS16(I a, I b) { return _mm_packus_epi16(a, b); }
    // Each pixel's fourth 16-bit lane (alpha, once widened) copied to its other three: two shuffles.
    static I BroadcastAlpha16(I v) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF); }

    static I Set1_16(int16_t v) { return _mm_set1_epi16(v); }
    static I MaxU8(I a, I b) { return _mm_max_epu8(a, b); }
    static I Max16(I a, I b) { return _mm_max_epi16(a, b); }  // signed
    static I MinU8(I a, I b) { return _mm_min_epu8(a, b); }
    static I CmpEq8(I a, I b) { return _mm_cmpeq_epi8(a, b); }
    static I CmpEq16(I a, I b) { return _mm_cmpeq_epi16(a, b); }
    // The bytes of PackUS16(a, b) in the order of a's then b's lanes: already so.
    static I PackOrder(I v) { return v; }
    // Four vectors of 32-bit words, as UnpackLo8/Hi8 twice spread 16 consecutive bytes, stored
    // as 16 consecutive words.
    static void StoreQuads(uint8_t* p, I a, I b, I c, I d) {
        Store(p, a);
        Store(p + 16, b);
        Store(p + 32, c);
        Store(p + 48, d);
    }

    static F ToFloat(I v) { return _mm_cvtepi32_ps(v); }
    static I Truncate(F v) { return _mm_cvttps_epi32(v); }
    static F AsFloat(I v) { return _mm_castsi128_ps(v); }
    static I AsInt(F v) { return _mm_castps_si128(v); }
    static F AddF(F a, F b) { return _mm_add_ps(a, b); }
    static F SubF(F a, F b) { return _mm_sub_ps(a, b); }
    static F MulF(F a, F b) { return _mm_mul_ps(a, b); }
    static F DivF(F a, F b) { return _mm_div_ps(a, b); }
    // Ordered comparisons (false for NaN), as integer lane masks.
    static I CmpLtF(F a, F b) { return _mm_castps_si128(_mm_cmplt_ps(a, b)); }
    static I CmpGeF(F a, F b) { return _mm_castps_si128(_mm_cmpge_ps(a, b)); }
};

}  // namespace
}  // namespace qel
