// The SIMD Gaussian row kernel, written once over a small vector interface V and instantiated for
// SSE2 (4 pixels per step) and AVX2 (8 pixels per step). Include only from inside an anonymous
// namespace of a file compiled for V's instruction set, after V is defined.
//
// V provides: I (integer vector), F (float vector), kPixels, Load/Store (unaligned), Zero,
// Set1_32, SetPixel32 (one 4-lane pattern in every pixel), And/Or/AndNot(a, b) = ~a & b,
// Add32/Sub32, Srl32<n>, CmpEq32, Shuffle32<imm> (within each 128-bit half), UnpackLo8/Hi8,
// Madd16 (signed 16-bit pairs multiplied and added into 32-bit lanes), PackS32, PackUS16,
// AllSet(mask), ToFloat, Truncate, AsFloat/AsInt (bit casts), MulF, SubF, DivF, Set1F,
// CmpLtF/CmpGeF (lane masks as I).
//
// Method. Two taps at a time: the bytes of the two tap rows are interleaved and widened, so each
// pixel is one vector of 16-bit pairs (tap k, tap k + 1) per channel, and one Madd16 with the
// pixel's pair of weights adds both taps' products into the pixel's four 32-bit sums. A tap whose
// alpha is 0 has its weight cleared in the pair before the multiply, which drops its colour and
// its share of Wc at once (its alpha product is 0 either way). Wc itself is a Madd16 of the weight
// pairs with (1, 1).
//
// Division. Every sum is below 2^24 and so exact in a float. q = trunc(sum * fl(1 / d)) is within
// one of floor(sum / d) (the relative error of the two roundings is below 2^-23 and the quotient
// at most 255); the remainder sum - q * d, also exact, says which way to correct.
#pragma once

template <class V>
void GaussRowT(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
               int32_t begin, int32_t end, uint32_t total) {
    using I = typename V::I;
    using F = typename V::F;
    const I zero = V::Zero();
    const I lowHalves = V::Set1_32(0x0000FFFFu);
    const I highHalves = V::Set1_32(0xFFFF0000u);
    const I ones16 = V::Set1_32(0x00010001u);
    const I alphaLane = V::SetPixel32(0, 0, 0, 0xFFFFFFFFu);
    const I totalLane = V::SetPixel32(0, 0, 0, total);
    const I totalRecipLane = V::And(alphaLane, V::AsInt(V::Set1F(1.0f / static_cast<float>(total))));
    const F zeroF = V::AsFloat(zero);
    const F one = V::Set1F(1.0f);

    auto group = [&](int32_t x) __attribute__((always_inline)) {
        const size_t offset = static_cast<size_t>(x) * 4;
        // A window of transparent taps, the blur margins and the gaps between letters, is
        // transparent black without any arithmetic.
        I any = zero;
        for (int32_t k = 0; k < count; ++k) any = V::Or(any, V::Load(taps[k] + offset));
        if (V::AllSet(V::CmpEq32(V::template Srl32<24>(any), zero))) {
            V::Store(out + offset, zero);
            return;
        }
        I sum[4] = {zero, zero, zero, zero};  // pixel j and j + 4 (AVX2) of the group
        I showingWeight = zero;                // Wc of each pixel, in pixel order
        auto addPair = [&](I r0, I r1, uint32_t w0, uint32_t w1) __attribute__((always_inline)) {
            const I hidden0 = V::CmpEq32(V::template Srl32<24>(r0), zero);
            const I hidden1 = V::CmpEq32(V::template Srl32<24>(r1), zero);
            const I keep = V::Or(V::AndNot(hidden0, lowHalves), V::AndNot(hidden1, highHalves));
            const I w = V::And(V::Set1_32(w0 | (w1 << 16)), keep);
            showingWeight = V::Add32(showingWeight, V::Madd16(w, ones16));
            const I lo = V::UnpackLo8(r0, r1);
            const I hi = V::UnpackHi8(r0, r1);
            sum[0] = V::Add32(sum[0], V::Madd16(V::UnpackLo8(lo, zero), V::template Shuffle32<0x00>(w)));
            sum[1] = V::Add32(sum[1], V::Madd16(V::UnpackHi8(lo, zero), V::template Shuffle32<0x55>(w)));
            sum[2] = V::Add32(sum[2], V::Madd16(V::UnpackLo8(hi, zero), V::template Shuffle32<0xAA>(w)));
            sum[3] = V::Add32(sum[3], V::Madd16(V::UnpackHi8(hi, zero), V::template Shuffle32<0xFF>(w)));
        };
        int32_t k = 0;
        for (; k + 1 < count; k += 2)
            addPair(V::Load(taps[k] + offset), V::Load(taps[k + 1] + offset), weights[k], weights[k + 1]);
        if (k < count) addPair(V::Load(taps[k] + offset), zero, weights[k], 0);

        const I empty = V::CmpEq32(showingWeight, zero);
        if (V::AllSet(empty)) {
            V::Store(out + offset, zero);
            return;
        }
        // Divisors per pixel: (Wc, Wc, Wc, total), and their reciprocals; Wc = 0 gives infinities
        // whose results are cleared below.
        const I recip = V::AsInt(V::DivF(one, V::ToFloat(showingWeight)));
        I q[4];
        auto divide = [&](int j, I divisor, I reciprocal) __attribute__((always_inline)) {
            const F s = V::ToFloat(sum[j]);
            const F d = V::ToFloat(divisor);
            I quotient = V::Truncate(V::MulF(s, V::AsFloat(reciprocal)));
            const F rest = V::SubF(s, V::MulF(V::ToFloat(quotient), d));
            quotient = V::Add32(quotient, V::CmpLtF(rest, zeroF));  // too large by one
            q[j] = V::Sub32(quotient, V::CmpGeF(rest, d));           // too small by one
        };
        auto spread = [&](I perPixel, I lane3) { return V::Or(V::AndNot(alphaLane, perPixel), lane3); };
        divide(0, spread(V::template Shuffle32<0x00>(showingWeight), totalLane),
               spread(V::template Shuffle32<0x00>(recip), totalRecipLane));
        divide(1, spread(V::template Shuffle32<0x55>(showingWeight), totalLane),
               spread(V::template Shuffle32<0x55>(recip), totalRecipLane));
        divide(2, spread(V::template Shuffle32<0xAA>(showingWeight), totalLane),
               spread(V::template Shuffle32<0xAA>(recip), totalRecipLane));
        divide(3, spread(V::template Shuffle32<0xFF>(showingWeight), totalLane),
               spread(V::template Shuffle32<0xFF>(recip), totalRecipLane));
        const I bytes = V::PackUS16(V::PackS32(q[0], q[1]), V::PackS32(q[2], q[3]));
        V::Store(out + offset, V::AndNot(empty, bytes));
    };
    if (end - begin < V::kPixels) return scalar::GaussRow(out, taps, weights, count, begin, end, total);
    int32_t x = begin;
    for (; x + V::kPixels <= end; x += V::kPixels) group(x);
    // The last pixels as one more group ending at `end`: pixels it shares with the previous group
    // come out the same, as out never overlaps the taps.
    if (x < end) group(end - V::kPixels);
}
