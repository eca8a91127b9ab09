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

// The blur pass over an alpha plane (GaussAlphaRowFn, GaussTintRowFn): a group is one vector of
// bytes (16 or 32 pixels); a row narrower than that runs on V::Half where V has one (AVX2's
// SSE2 half), else on the scalar kernel. Two taps at a time as above: their bytes interleaved and widened into
// 16-bit pairs, one Madd16 per four pixels with the weight pair. A whole window's weights are
// symmetric (weights[k] = weights[count - 1 - k]), so there the taps are first folded: taps k and
// count - 1 - k added as 16-bit values (at most 510) and multiplied once by their shared weight,
// which halves the multiply-adds for the same integer sums. The sums are exact in floats and
// divided by the total as above. The tinted form's pixel is colour | alpha << 24 where the sum is
// not 0: every term is a weight times an alpha, so the sum is 0 exactly when no tap with a weight
// shows.
template <class V, bool kTint>
void GaussAlphaRowT(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                    int32_t begin, int32_t end, uint32_t total, uint32_t colour) {
    using I = typename V::I;
    using F = typename V::F;
    constexpr int32_t kBytes = static_cast<int32_t>(sizeof(I));
    if (end - begin < kBytes) {
        if constexpr (requires { typename V::Half; }) {
            if (end - begin >= static_cast<int32_t>(sizeof(typename V::Half::I)))
                return GaussAlphaRowT<typename V::Half, kTint>(out, taps, weights, count, begin, end, total, colour);
        }
        if constexpr (kTint) {
            return scalar::GaussTintRow(out, taps, weights, count, begin, end, total, colour);
        } else {
            return scalar::GaussAlphaRow(out, taps, weights, count, begin, end, total);
        }
    }
    const I zero = V::Zero();
    const I colourWord = V::Set1_32(colour);
    const F divisor = V::Set1F(static_cast<float>(total));
    const F reciprocal = V::Set1F(1.0f / static_cast<float>(total));
    const F zeroF = V::AsFloat(zero);
    // A total of 256 (a single tap weighing an opacity) divides by a shift.
    const bool byShift = total == 256;
    bool fold = count >= 3 && count % 2 == 1;
    for (int32_t k = 0; fold && k < count / 2; ++k) fold = weights[k] == weights[count - 1 - k];
    const int32_t centre = count / 2;

    auto group = [&](int32_t x) __attribute__((always_inline)) {
        I any = zero;
        for (int32_t k = 0; k < count; ++k) any = V::Or(any, V::Load(taps[k] + x));
        if (V::AllSet(V::CmpEq32(any, zero))) {
            if constexpr (kTint) {
                V::StoreQuads(out + 4 * static_cast<size_t>(x), zero, zero, zero, zero);
            } else {
                V::Store(out + x, zero);
            }
            return;
        }
        I sum[4] = {zero, zero, zero, zero};
        auto addPair = [&](I r0, I r1, uint32_t w0, uint32_t w1) __attribute__((always_inline)) {
            const I w = V::Set1_32(w0 | (w1 << 16));
            const I lo = V::UnpackLo8(r0, r1);
            const I hi = V::UnpackHi8(r0, r1);
            sum[0] = V::Add32(sum[0], V::Madd16(V::UnpackLo8(lo, zero), w));
            sum[1] = V::Add32(sum[1], V::Madd16(V::UnpackHi8(lo, zero), w));
            sum[2] = V::Add32(sum[2], V::Madd16(V::UnpackLo8(hi, zero), w));
            sum[3] = V::Add32(sum[3], V::Madd16(V::UnpackHi8(hi, zero), w));
        };
        // Folded taps j and count - 1 - j (the centre tap alone) as 16-bit values, bytes 0-7 and
        // 8-15 of each 128-bit half.
        auto foldedTap = [&](int32_t j, I* lo, I* hi) __attribute__((always_inline)) {
            const I a = V::Load(taps[j] + x);
            *lo = V::UnpackLo8(a, zero);
            *hi = V::UnpackHi8(a, zero);
            if (j == centre) return;
            const I b = V::Load(taps[count - 1 - j] + x);
            *lo = V::Add16(*lo, V::UnpackLo8(b, zero));
            *hi = V::Add16(*hi, V::UnpackHi8(b, zero));
        };
        auto addFolded = [&](I lo0, I hi0, I lo1, I hi1, uint32_t w0, uint32_t w1) __attribute__((always_inline)) {
            const I w = V::Set1_32(w0 | (w1 << 16));
            sum[0] = V::Add32(sum[0], V::Madd16(V::UnpackLo16(lo0, lo1), w));
            sum[1] = V::Add32(sum[1], V::Madd16(V::UnpackHi16(lo0, lo1), w));
            sum[2] = V::Add32(sum[2], V::Madd16(V::UnpackLo16(hi0, hi1), w));
            sum[3] = V::Add32(sum[3], V::Madd16(V::UnpackHi16(hi0, hi1), w));
        };
        if (fold) {
            int32_t j = 0;
            for (; j + 1 <= centre; j += 2) {
                I lo0, hi0, lo1, hi1;
                foldedTap(j, &lo0, &hi0);
                foldedTap(j + 1, &lo1, &hi1);
                addFolded(lo0, hi0, lo1, hi1, weights[j], weights[j + 1]);
            }
            if (j == centre) {
                I lo0, hi0;
                foldedTap(centre, &lo0, &hi0);
                addFolded(lo0, hi0, zero, zero, weights[centre], 0);
            }
        } else {
            int32_t k = 0;
            for (; k + 1 < count; k += 2) addPair(V::Load(taps[k] + x), V::Load(taps[k + 1] + x), weights[k], weights[k + 1]);
            if (k < count) addPair(V::Load(taps[k] + x), zero, weights[k], 0);
        }
        I q[4];
        for (int j = 0; j < 4; ++j) {
            if (byShift) {
                q[j] = V::template Srl32<8>(sum[j]);
                continue;
            }
            const F s = V::ToFloat(sum[j]);
            I quotient = V::Truncate(V::MulF(s, reciprocal));
            const F rest = V::SubF(s, V::MulF(V::ToFloat(quotient), divisor));
            quotient = V::Add32(quotient, V::CmpLtF(rest, zeroF));  // too large by one
            q[j] = V::Sub32(quotient, V::CmpGeF(rest, divisor));    // too small by one
        }
        if constexpr (kTint) {
            I words[4];
            for (int j = 0; j < 4; ++j)
                words[j] = V::AndNot(V::CmpEq32(sum[j], zero), V::Or(V::template Sll32<24>(q[j]), colourWord));
            V::StoreQuads(out + 4 * static_cast<size_t>(x), words[0], words[1], words[2], words[3]);
        } else {
            V::Store(out + x, V::PackUS16(V::PackS32(q[0], q[1]), V::PackS32(q[2], q[3])));
        }
    };
    int32_t x = begin;
    for (; x + kBytes <= end; x += kBytes) group(x);
    if (x < end) group(end - kBytes);  // overlaps the previous group with the same bytes
}

template <class V>
void GaussAlphaRowOnlyT(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                        int32_t begin, int32_t end, uint32_t total) {
    GaussAlphaRowT<V, false>(out, taps, weights, count, begin, end, total, 0);
}

// The dilation row kernel (DilateRowFn): a group is one vector of destination bytes. For each
// kernel cell the source values under the group, raised by the cell, are packed to bytes (which
// clamps them to 0..255) and kept as a running maximum in a register, then stored once over the
// destination's own maximum.
template <class V>
void DilateRowT(uint8_t* d, const int16_t* p, const int16_t* cells, int32_t begin, int32_t end, int32_t lo,
                int32_t hi) {
    using I = typename V::I;
    constexpr int32_t kBytes = static_cast<int32_t>(sizeof(I));
    if (hi - lo < kBytes) {
        if constexpr (requires { typename V::Half; }) {
            if (hi - lo >= static_cast<int32_t>(sizeof(typename V::Half::I)))
                return DilateRowT<typename V::Half>(d, p, cells, begin, end, lo, hi);
        }
        return scalar::DilateRow(d, p, cells, begin, end, lo, hi);
    }
    auto group = [&](int32_t X) __attribute__((always_inline)) {
        I acc = V::Zero();
        for (int32_t c = begin; c < end; ++c) {
            const I kv = V::Set1_16(cells[c]);
            const uint8_t* from = reinterpret_cast<const uint8_t*>(p + X - c);
            acc = V::MaxU8(acc, V::PackUS16(V::Add16(V::Load(from), kv), V::Add16(V::Load(from + kBytes), kv)));
        }
        V::Store(d + X, V::MaxU8(V::Load(d + X), V::PackOrder(acc)));
    };
    int32_t X = lo;
    for (; X + kBytes <= hi; X += kBytes) group(X);
    if (X < hi) group(hi - kBytes);  // raising a byte twice gives the same byte
}

// The byte maximum of two rows (MaxRowFn), one vector at a time; the last group overlaps the one
// before, which gives the same bytes again (out is a or a row of its own).
template <class V>
void MaxRowT(uint8_t* out, const uint8_t* a, const uint8_t* b, int32_t count) {
    using I = typename V::I;
    constexpr int32_t kBytes = static_cast<int32_t>(sizeof(I));
    if (count < kBytes) {
        if constexpr (requires { typename V::Half; }) {
            if (count >= static_cast<int32_t>(sizeof(typename V::Half::I))) return MaxRowT<typename V::Half>(out, a, b, count);
        }
        return scalar::MaxRow(out, a, b, count);
    }
    int32_t x = 0;
    for (; x + kBytes <= count; x += kBytes) V::Store(out + x, V::MaxU8(V::Load(a + x), V::Load(b + x)));
    if (x < count) {
        x = count - kBytes;
        V::Store(out + x, V::MaxU8(V::Load(a + x), V::Load(b + x)));
    }
}

// The dilation by chords (DilateChordsFn): a group is one vector of destination bytes, worked in
// two vectors of 16-bit lanes. The pair maxima s_k and the running maxima m_k of the group are
// made once, then every chord row is a few adds and maxima on them, packed to bytes (which clamps
// to 0..255) and laid over its destination rows.
template <class V>
void DilateChordsT(uint8_t* const* dst, const int16_t* p, const ChordPlan& plan, int32_t lo, int32_t hi) {
    using I = typename V::I;
    constexpr int32_t kBytes = static_cast<int32_t>(sizeof(I));
    constexpr int32_t kLanes = kBytes / 2;
    if (hi - lo < kBytes) {
        if constexpr (requires { typename V::Half; }) {
            if (hi - lo >= static_cast<int32_t>(sizeof(typename V::Half::I)))
                return DilateChordsT<typename V::Half>(dst, p, plan, lo, hi);
        }
        return scalar::DilateChords(dst, p, plan, lo, hi);
    }
    auto load = [](const int16_t* q) __attribute__((always_inline)) {
        return V::Load(reinterpret_cast<const uint8_t*>(q));
    };
    const I full = V::Set1_16(255);
    I s[2][kMaxChordReach + 1], m[2][kMaxChordReach + 1];
    auto group = [&](int32_t X) __attribute__((always_inline)) {
        for (int32_t h = 0; h < 2; ++h) {
            const int16_t* y = p + X - plan.halfW + h * kLanes;
            s[h][0] = m[h][0] = load(y);
            for (int32_t k = 1; k <= plan.reach; ++k) {
                s[h][k] = V::Max16(load(y - k), load(y + k));
                if (k <= plan.maxCore) m[h][k] = V::Max16(m[h][k - 1], s[h][k]);
            }
        }
        for (int32_t i = 0; i < plan.rowCount; ++i) {
            const ChordRow& row = plan.rows[i];
            I acc0 = V::Zero(), acc1 = V::Zero();
            if (row.core >= 0) {
                acc0 = V::Add16(m[0][row.core], full);
                acc1 = V::Add16(m[1][row.core], full);
            }
            for (int32_t t = row.firstTerm; t < row.firstTerm + row.termCount; ++t) {
                const I value = V::Set1_16(plan.terms[t].value);
                const int32_t k = plan.terms[t].k;
                acc0 = V::Max16(acc0, V::Add16(s[0][k], value));
                acc1 = V::Max16(acc1, V::Add16(s[1][k], value));
            }
            const I bytes = V::PackOrder(V::PackUS16(acc0, acc1));
            for (const int32_t r : row.rows) {
                if (r < 0 || !dst[r]) continue;
                V::Store(dst[r] + X, V::MaxU8(V::Load(dst[r] + X), bytes));
            }
        }
    };
    int32_t X = lo;
    for (; X + kBytes <= hi; X += kBytes) group(X);
    if (X < hi) group(hi - kBytes);  // raising a byte twice gives the same byte
}

// The stamping pixels of a source row (DilatePrepFn), one vector of source bytes at a time: the
// weakest neighbour by byte minima, "does not stamp" as max(w, v) == w, and p widened to 16 bits
// in order (PackOrder also undoes the per-half order of the unpacks that follow it).
template <class V>
void DilatePrepT(int16_t* p, uint8_t* centre, const uint8_t* s, const uint8_t* up, const uint8_t* down,
                 int32_t begin, int32_t end) {
    using I = typename V::I;
    constexpr int32_t kBytes = static_cast<int32_t>(sizeof(I));
    if (end - begin < kBytes) {
        if constexpr (requires { typename V::Half; }) {
            if (end - begin >= static_cast<int32_t>(sizeof(typename V::Half::I)))
                return DilatePrepT<typename V::Half>(p, centre, s, up, down, begin, end);
        }
        return scalar::DilatePrep(p, centre, s, up, down, begin, end);
    }
    const I zero = V::Zero();
    const I none = V::Set1_16(-255);
    auto group = [&](int32_t x) __attribute__((always_inline)) {
        const I v = V::Load(s + x);
        const I weakest = V::MinU8(V::MinU8(V::Load(s + x - 1), V::Load(s + x + 1)),
                                   V::MinU8(V::Load(up + x), V::Load(down + x)));
        const I covered = V::CmpEq8(V::MaxU8(weakest, v), weakest);  // does not stamp
        const I stamping = V::PackOrder(V::AndNot(covered, v));      // v or 0 (v = 0 never stamps)
        const I lo = V::UnpackLo8(stamping, zero), hi = V::UnpackHi8(stamping, zero);
        V::Store(reinterpret_cast<uint8_t*>(p + x), V::Or(lo, V::And(V::CmpEq16(lo, zero), none)));
        V::Store(reinterpret_cast<uint8_t*>(p + x + kBytes / 2), V::Or(hi, V::And(V::CmpEq16(hi, zero), none)));
        if (centre) V::Store(centre + x, V::Or(V::Load(centre + x), V::AndNot(V::CmpEq8(v, zero), covered)));
    };
    int32_t x = begin;
    for (; x + kBytes <= end; x += kBytes) group(x);
    if (x < end) group(end - kBytes);  // the same values again for the pixels shared
}
