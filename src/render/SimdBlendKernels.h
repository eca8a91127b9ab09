// The SIMD row kernels, written once over a small vector interface V and instantiated for SSE2
// (4 pixels per step) and AVX2 (8 pixels per step). Include only from inside an anonymous
// namespace of a file compiled for V's instruction set, after V is defined.
//
// V provides: I (integer vector), F (float vector), kPixels, Load/Store (unaligned), Zero,
// Set1_32/Set1_64/Set1F, And/Or/Xor/AndNot(a, b) = ~a & b, Add16/Sub16/Add32, MulLo16, MulHiU16,
// Srl16<n>/Sll16<n>/Srl32<n>/Sll32<n>, CmpEq32, CmpGt32, UnpackLo8/Hi8, UnpackLo32/Hi32, PackUS16,
// AllSet(mask), BroadcastAlpha16, ToFloat, Truncate, MulF, AddF.
//
// Method: bytes are widened to 16-bit lanes (four lanes per pixel, alpha in the fourth), so every
// 8-bit product a * b + carry fits a lane; the per-pixel special cases (alpha 0, alpha 255, an
// empty destination) are computed as masks and selected at the end, and whole groups that are
// transparent or opaque skip the arithmetic.
#pragma once

// Pixels whose 32-bit lanes are set in `mask` take `a`, the others `b`.
template <class V>
inline typename V::I Select(typename V::I mask, typename V::I a, typename V::I b) {
    return V::Or(V::And(mask, a), V::AndNot(mask, b));
}

// The low 16 bits of each 32-bit lane copied to all four 16-bit lanes of that pixel, for the
// widened low (pixels 0, 1 of each 128-bit half) and high (pixels 2, 3) parts.
template <class V>
inline void Spread(typename V::I x, typename V::I* lo, typename V::I* hi) {
    const typename V::I pair = V::Or(x, V::template Sll32<16>(x));
    *lo = V::UnpackLo32(pair, pair);
    *hi = V::UnpackHi32(pair, pair);
}

template <class V>
void BlendOverKeepAlphaRowT(uint8_t* dst, const uint8_t* src, int32_t count) {
    using I = typename V::I;
    const I zero = V::Zero();
    const I alphaMask = V::Set1_32(0xFF000000u);
    const I alphaLane = V::Set1_64(0x00FF000000000000ull);  // 255 in each pixel's alpha lane
    const I colourLanes = V::Set1_64(0x0000FFFFFFFFFFFFull);
    const I all255 = V::Set1_64(0x00FF00FF00FF00FFull);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I s = V::Load(src + 4 * i);
        const I sa = V::And(s, alphaMask);
        const I transparent = V::CmpEq32(sa, zero);
        if (V::AllSet(transparent)) continue;
        if (V::AllSet(V::CmpEq32(sa, alphaMask))) {
            V::Store(dst + 4 * i, s);
            continue;
        }
        const I d = V::Load(dst + 4 * i);
        const I emptyDst = V::CmpEq32(V::And(d, alphaMask), zero);
        I half[2];
        for (int h = 0; h < 2; ++h) {
            const I s16 = h ? V::UnpackHi8(s, zero) : V::UnpackLo8(s, zero);
            const I d16 = h ? V::UnpackHi8(d, zero) : V::UnpackLo8(d, zero);
            const I inverse = V::Sub16(all255, V::BroadcastAlpha16(s16));  // 255 - Sa
            // Colour lanes: (Dc (255 - Sa)) >> 8; alpha lane: t = ((255 - Da)(255 - Sa)) >> 8.
            const I product = V::template Srl16<8>(V::MulLo16(V::Xor(d16, alphaLane), inverse));
            // Colour lanes + Sc (saturated by the pack); alpha lane becomes 255 - t.
            half[h] = V::Xor(V::Add16(product, V::And(s16, colourLanes)), alphaLane);
        }
        I r = V::PackUS16(half[0], half[1]);
        r = Select<V>(emptyDst, s, r);
        V::Store(dst + 4 * i, Select<V>(transparent, d, r));
    }
    scalar::BlendOverKeepAlphaRow(dst + 4 * i, src + 4 * i, count - i);
}

template <class V>
void BlendOverOpaqueRowT(uint8_t* dst, const uint8_t* src, int32_t count) {
    using I = typename V::I;
    const I zero = V::Zero();
    const I alphaMask = V::Set1_32(0xFF000000u);
    const I all256 = V::Set1_64(0x0100010001000100ull);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I s = V::Load(src + 4 * i);
        const I sa = V::And(s, alphaMask);
        const I transparent = V::CmpEq32(sa, zero);
        if (V::AllSet(transparent)) continue;
        if (V::AllSet(V::CmpEq32(sa, alphaMask))) {
            V::Store(dst + 4 * i, s);
            continue;
        }
        const I f = V::Load(dst + 4 * i);
        I half[2];
        for (int h = 0; h < 2; ++h) {
            const I s16 = h ? V::UnpackHi8(s, zero) : V::UnpackLo8(s, zero);
            const I f16 = h ? V::UnpackHi8(f, zero) : V::UnpackLo8(f, zero);
            const I inverse = V::Sub16(all256, V::BroadcastAlpha16(s16));  // 256 - Sa
            half[h] = V::Add16(s16, V::template Srl16<8>(V::MulLo16(f16, inverse)));
        }
        // Sa = 255 needs no select: 256 - Sa = 1 leaves Sc alone.
        const I r = V::Or(V::PackUS16(half[0], half[1]), alphaMask);
        V::Store(dst + 4 * i, Select<V>(transparent, f, r));
    }
    scalar::BlendOverOpaqueRow(dst + 4 * i, src + 4 * i, count - i);
}

template <class V>
void BlendStraightOpaqueRowT(uint8_t* dst, const uint8_t* src, int32_t count) {
    using I = typename V::I;
    const I zero = V::Zero();
    const I alphaMask = V::Set1_32(0xFF000000u);
    const I all256 = V::Set1_64(0x0100010001000100ull);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I s = V::Load(src + 4 * i);
        const I sa = V::And(s, alphaMask);
        const I transparent = V::CmpEq32(sa, zero);
        if (V::AllSet(transparent)) continue;
        const I opaque = V::CmpEq32(sa, alphaMask);
        if (V::AllSet(opaque)) {
            V::Store(dst + 4 * i, s);
            continue;
        }
        const I f = V::Load(dst + 4 * i);
        I half[2];
        for (int h = 0; h < 2; ++h) {
            const I s16 = h ? V::UnpackHi8(s, zero) : V::UnpackLo8(s, zero);
            const I f16 = h ? V::UnpackHi8(f, zero) : V::UnpackLo8(f, zero);
            const I a16 = V::BroadcastAlpha16(s16);
            // Fc + floor((Sc - Fc) Sa / 256) = (Fc (256 - Sa) + Sc Sa) >> 8, at most 65280.
            const I sum = V::Add16(V::MulLo16(f16, V::Sub16(all256, a16)), V::MulLo16(s16, a16));
            half[h] = V::template Srl16<8>(sum);
        }
        I r = V::Or(V::PackUS16(half[0], half[1]), alphaMask);
        r = Select<V>(opaque, s, r);
        V::Store(dst + 4 * i, Select<V>(transparent, f, r));
    }
    scalar::BlendStraightOpaqueRow(dst + 4 * i, src + 4 * i, count - i);
}

template <class V>
void PremultiplyRowT(uint8_t* pixels, int32_t count) {
    using I = typename V::I;
    const I zero = V::Zero();
    const I alphaMask = V::Set1_32(0xFF000000u);
    const I ones = V::Set1_64(0x0001000100010001ull);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I v = V::Load(pixels + 4 * i);
        if (V::AllSet(V::CmpEq32(V::And(v, alphaMask), alphaMask))) continue;
        I half[2];
        for (int h = 0; h < 2; ++h) {
            const I v16 = h ? V::UnpackHi8(v, zero) : V::UnpackLo8(v, zero);
            // (a (c + 1)) >> 8, at most 65280 before the shift; the identity for a = 255.
            half[h] = V::template Srl16<8>(V::MulLo16(V::BroadcastAlpha16(v16), V::Add16(v16, ones)));
        }
        const I r = V::PackUS16(half[0], half[1]);
        V::Store(pixels + 4 * i, V::Or(V::AndNot(alphaMask, r), V::And(v, alphaMask)));
    }
    scalar::PremultiplyRow(pixels + 4 * i, count - i);
}

template <class V, bool kOneColour = false>
void PlaceRowT(uint8_t* dst, const uint8_t* upper, const uint8_t* lower, int32_t count,
               const PlaceRowParams& params) {
    using I = typename V::I;
    using F = typename V::F;
    const I zero = V::Zero();
    const I alphaMask = V::Set1_32(0xFF000000u);
    const I alphaLane = V::Set1_64(0x00FF000000000000ull);
    const I alphaLaneMask = V::Set1_64(0xFFFF000000000000ull);
    const I colourLanes = V::Set1_64(0x0000FFFFFFFFFFFFull);
    // Weights are whole numbers up to 65536 and alphas up to 255: every product and partial sum
    // stays below 2^24, so the float arithmetic is exact.
    const F w00 = V::Set1F(static_cast<float>(params.w00));
    const F w10 = V::Set1F(static_cast<float>(params.w10));
    const F w01 = V::Set1F(static_cast<float>(params.w01));
    const F w11 = V::Set1F(static_cast<float>(params.w11));
    const I opacity1 = V::Set1_32(params.opacity + 1);
    const I full = V::Set1_32(255);
    const I n256 = V::Set1_32(256);
    const I oneColour = V::Set1_32(params.colour & 0x00FFFFFFu);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I p00 = V::Load(upper + 4 * i);
        const I p10 = V::Load(upper + 4 * i + 4);
        const I p01 = V::Load(lower + 4 * i);
        const I p11 = V::Load(lower + 4 * i + 4);
        const I a00 = V::template Srl32<24>(p00);
        const I a10 = V::template Srl32<24>(p10);
        const I a01 = V::template Srl32<24>(p01);
        const I a11 = V::template Srl32<24>(p11);
        const F weighted = V::AddF(V::AddF(V::MulF(V::ToFloat(a00), w00), V::MulF(V::ToFloat(a10), w10)),
                                   V::AddF(V::MulF(V::ToFloat(a01), w01), V::MulF(V::ToFloat(a11), w11)));
        // (sum >> 16) (opacity + 1) is at most 65280: a 16-bit product in the low half of each lane.
        const I a = V::template Srl32<8>(V::MulLo16(V::template Srl32<16>(V::Truncate(weighted)), opacity1));
        const I skip = V::CmpEq32(a, zero);
        if (V::AllSet(skip)) continue;

        // Samples that show, and the multiplier that turns 4 * sum into sum / showing:
        // (4 sum * m) >> 16 with m = 16384, 8192, 5462, 4096 for 1..4 samples (exact for 4 sum < 4096).
        // Samples of one colour average to that colour, which needs none of it.
        I mSpread[2], q00, q10, q01, q11;
        if constexpr (!kOneColour) {
            const I z00 = V::CmpEq32(a00, zero);
            const I z10 = V::CmpEq32(a10, zero);
            const I z01 = V::CmpEq32(a01, zero);
            const I z11 = V::CmpEq32(a11, zero);
            const I showing = V::Add32(V::Set1_32(4), V::Add32(V::Add32(z00, z10), V::Add32(z01, z11)));
            const I m =
                V::Add32(V::Add32(V::Set1_32(4096), V::And(V::CmpGt32(V::Set1_32(4), showing), V::Set1_32(1366))),
                         V::Add32(V::And(V::CmpGt32(V::Set1_32(3), showing), V::Set1_32(2730)),
                                  V::And(V::CmpGt32(V::Set1_32(2), showing), V::Set1_32(8192))));
            q00 = V::AndNot(z00, p00);
            q10 = V::AndNot(z10, p10);
            q01 = V::AndNot(z01, p01);
            q11 = V::AndNot(z11, p11);
            Spread<V>(m, &mSpread[0], &mSpread[1]);
        }

        I aSpread[2], a1Spread[2], invSpread[2];
        Spread<V>(a, &aSpread[0], &aSpread[1]);
        Spread<V>(V::Add32(a, V::Set1_32(1)), &a1Spread[0], &a1Spread[1]);
        Spread<V>(V::Sub32(n256, a), &invSpread[0], &invSpread[1]);

        const I d = V::Load(dst + 4 * i);
        I laid[2], placed[2];
        for (int h = 0; h < 2; ++h) {
            auto widen = [&](I v) { return h ? V::UnpackHi8(v, zero) : V::UnpackLo8(v, zero); };
            I average;
            if constexpr (kOneColour) {
                average = widen(oneColour);
            } else {
                const I sum = V::Add16(V::Add16(widen(q00), widen(q10)), V::Add16(widen(q01), widen(q11)));
                average = V::MulHiU16(V::template Sll16<2>(sum), mSpread[h]);
            }
            const I colour = V::And(V::template Srl16<8>(V::MulLo16(average, a1Spread[h])), colourLanes);
            placed[h] = V::Or(colour, V::And(aSpread[h], alphaLaneMask));  // (p, A)
            // Colour lanes: (Dc (256 - A)) >> 8; alpha lane: t = ((255 - Da)(256 - A)) >> 8.
            const I product = V::template Srl16<8>(V::MulLo16(V::Xor(widen(d), alphaLane), invSpread[h]));
            laid[h] = V::Xor(V::Add16(product, colour), alphaLane);  // alpha lane: 255 - t
        }
        I r = V::PackUS16(laid[0], laid[1]);
        const I replace = V::Or(V::CmpEq32(a, full), V::CmpEq32(V::And(d, alphaMask), zero));
        r = Select<V>(replace, V::PackUS16(placed[0], placed[1]), r);
        V::Store(dst + 4 * i, Select<V>(skip, d, r));
    }
    if constexpr (kOneColour) {
        scalar::PlaceRowOneColour(dst + 4 * i, upper + 4 * i, lower + 4 * i, count - i, params);
    } else {
        scalar::PlaceRow(dst + 4 * i, upper + 4 * i, lower + 4 * i, count - i, params);
    }
}

template <class V>
void PlaceWholeRowT(uint8_t* dst, const uint8_t* prepared, int32_t count, uint32_t opacity) {
    using I = typename V::I;
    const I zero = V::Zero();
    const I opacity1 = V::Set1_32(opacity + 1);
    const I alphaLaneMask = V::Set1_64(0xFFFF000000000000ull);
    const I colourLanes = V::Set1_64(0x0000FFFFFFFFFFFFull);
    int32_t i = 0;
    for (; i + V::kPixels <= count; i += V::kPixels) {
        const I p = V::Load(prepared + 4 * i);
        // a (opacity + 1) is at most 65280: a 16-bit product in the low half of each lane.
        const I a = V::template Srl32<8>(V::MulLo16(V::template Srl32<24>(p), opacity1));
        if (V::AllSet(V::CmpEq32(a, zero))) continue;  // the destination stays empty
        I aSpread[2], a1Spread[2], placed[2];
        Spread<V>(a, &aSpread[0], &aSpread[1]);
        Spread<V>(V::Add32(a, V::Set1_32(1)), &a1Spread[0], &a1Spread[1]);
        for (int h = 0; h < 2; ++h) {
            const I p16 = h ? V::UnpackHi8(p, zero) : V::UnpackLo8(p, zero);
            const I colour = V::And(V::template Srl16<8>(V::MulLo16(p16, a1Spread[h])), colourLanes);
            placed[h] = V::Or(colour, V::And(aSpread[h], alphaLaneMask));
        }
        V::Store(dst + 4 * i, V::PackUS16(placed[0], placed[1]));
    }
    scalar::PlaceWholeRow(dst + 4 * i, prepared + 4 * i, count - i, opacity);
}
