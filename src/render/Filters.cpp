// Image filters on straight-alpha pixels (three colour bytes, then alpha).
//
// A pixel with alpha 0 has no colour. Every filter therefore averages colour over the pixels of
// its window that show (alpha != 0) and alpha over the whole window, so transparent surroundings
// never darken an edge.
//
// Gaussian blur: separable. The horizontal pass fills a ring of 2n + 1 rows, the vertical pass
// reads the ring and writes the finished row straight into the image: a finished row y is never
// read again, because the ring only ever needs original rows below y. Weights are integers
// summing to about 32768, so both passes are integer multiply-adds. Both passes are the same row
// kernel over 2n + 1 tap rows: for the horizontal pass the taps are one source row shifted by
// 0..2n pixels inside n transparent pixels of padding, for the vertical pass the ring's rows.
// The kernel comes from a table chosen for the processor (FilterKernels.h).
//
// Wide Gaussian blur: beyond kMaxGaussTapsRadius the taps would cost thousands of multiply-adds
// per pixel, so the Gaussian is approximated by three box passes of running sums in each
// direction (their widths chosen so the variances add up to the Gaussian's), whose cost does not
// depend on the radius. Like the taps, a box counts the pixels beyond the image as transparent.
//
// Box blur: five running sums (three colours of showing pixels, alpha, count of showing pixels)
// per column over the rows of the window, updated by one entering and one leaving row, and a
// running sum of those along each row, so the cost does not depend on the radius.
//
// Divisions by the window's weight or area are mostly by one value per row; they go through an
// exact multiply-shift reciprocal, and only the ragged edges of shapes divide directly.
#include "render/Filters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "render/FilterKernels.h"
#include "render/SimdSupport.h"

namespace qel {
namespace {

constexpr int kAlpha = 3;

// floor(n / d) for every 32-bit n as one multiply and shift (d >= 1). With l = ceil(log2 d) and
// magic = ceil(2^(32 + l) / d), the rounding error of the reciprocal stays below one unit of
// the quotient for all n < 2^32.
class ExactDivider {
public:
    explicit ExactDivider(uint32_t d = 1) { Set(d); }
    void Set(uint32_t d) {
        divisor_ = d;
        shift_ = 32 + std::bit_width(d - 1);
        magic_ = static_cast<uint64_t>(((static_cast<unsigned __int128>(1) << shift_) + d - 1) / d);
    }
    uint32_t Divisor() const { return divisor_; }
    uint32_t Divide(uint32_t n) const {
        return static_cast<uint32_t>((static_cast<unsigned __int128>(n) * magic_) >> shift_);
    }

private:
    uint32_t divisor_ = 1;
    int shift_ = 32;
    uint64_t magic_ = uint64_t{1} << 32;
};

}  // namespace

// ----------------------------------------------------------------------------------------------
// Gaussian blur

void scalar::GaussRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                      int32_t begin, int32_t end, uint32_t total) {
    for (int32_t x = begin; x < end; ++x) {
        uint32_t c[3] = {0, 0, 0}, alpha = 0, showingWeight = 0;
        for (int32_t k = 0; k < count; ++k) {
            const uint8_t* p = taps[k] + 4 * static_cast<size_t>(x);
            if (p[kAlpha] == 0) continue;
            const uint32_t w = weights[k];
            c[0] += w * p[0];
            c[1] += w * p[1];
            c[2] += w * p[2];
            alpha += w * p[kAlpha];
            showingWeight += w;
        }
        uint8_t* o = out + 4 * static_cast<size_t>(x);
        if (showingWeight == 0) {
            std::memset(o, 0, 4);
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) o[ch] = static_cast<uint8_t>(c[ch] / showingWeight);
        o[kAlpha] = static_cast<uint8_t>(alpha / total);
    }
}

void scalar::GaussAlphaRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                           int32_t begin, int32_t end, uint32_t total) {
    for (int32_t x = begin; x < end; ++x) {
        uint32_t sum = 0;
        for (int32_t k = 0; k < count; ++k) sum += weights[k] * taps[k][x];
        out[x] = static_cast<uint8_t>(sum / total);
    }
}

void scalar::GaussTintRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                          int32_t begin, int32_t end, uint32_t total, uint32_t colour) {
    for (int32_t x = begin; x < end; ++x) {
        uint32_t sum = 0;
        for (int32_t k = 0; k < count; ++k) sum += weights[k] * taps[k][x];
        const uint32_t word = sum == 0 ? 0 : colour | (sum / total) << 24;
        std::memcpy(out + 4 * static_cast<size_t>(x), &word, 4);
    }
}

void scalar::DilateRow(uint8_t* d, const int16_t* p, const int16_t* cells, int32_t begin, int32_t end,
                       int32_t lo, int32_t hi) {
    for (int32_t X = lo; X < hi; ++X) {
        int32_t best = d[X];
        for (int32_t c = begin; c < end; ++c) best = std::max(best, std::clamp(cells[c] + p[X - c], 0, 255));
        d[X] = static_cast<uint8_t>(best);
    }
}

void scalar::MaxRow(uint8_t* out, const uint8_t* a, const uint8_t* b, int32_t count) {
    for (int32_t x = 0; x < count; ++x) out[x] = std::max(a[x], b[x]);
}

void scalar::DilateChords(uint8_t* const* dst, const int16_t* p, const ChordPlan& plan, int32_t lo, int32_t hi) {
    for (int32_t X = lo; X < hi; ++X) {
        const int16_t* y = p + X - plan.halfW;
        for (int32_t i = 0; i < plan.rowCount; ++i) {
            const ChordRow& row = plan.rows[i];
            int32_t best = 0;
            for (int32_t k = 0; k <= row.core; ++k) best = std::max({best, 255 + y[-k], 255 + y[k]});
            for (int32_t t = row.firstTerm; t < row.firstTerm + row.termCount; ++t) {
                const ChordTerm term = plan.terms[t];
                best = std::max({best, term.value + y[-term.k], term.value + y[term.k]});
            }
            best = std::min(best, 255);
            for (const int32_t r : row.rows) {
                if (r >= 0 && dst[r]) dst[r][X] = static_cast<uint8_t>(std::max<int32_t>(dst[r][X], best));
            }
        }
    }
}

void scalar::DilatePrep(int16_t* p, uint8_t* centre, const uint8_t* s, const uint8_t* up, const uint8_t* down,
                        int32_t begin, int32_t end) {
    for (int32_t x = begin; x < end; ++x) {
        const int32_t v = s[x];
        const int32_t weakest = std::min({s[x - 1], s[x + 1], up[x], down[x]});
        p[x] = weakest < v ? int16_t(v) : int16_t(-255);
        if (centre && v != 0 && weakest >= v) centre[x] = 255;
    }
}

bool GaussTapsSimdReady(const uint32_t* weights, int32_t count, uint32_t total) {
    return total <= 65535 && std::all_of(weights, weights + count, [](uint32_t w) { return w <= 32767; });
}

const FilterKernels& ScalarFilterKernels() {
    static const FilterKernels table = {"scalar", scalar::GaussRow, scalar::GaussAlphaRow, scalar::GaussTintRow,
                                        scalar::DilateRow, scalar::MaxRow, scalar::DilateChords,
                                        scalar::DilatePrep};
    return table;
}

const FilterKernels& FilterKernelsFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::Avx2: return Avx2FilterKernels();
        case SimdLevel::Sse2: return Sse2FilterKernels();
        case SimdLevel::Scalar: break;
    }
    return ScalarFilterKernels();
}

const FilterKernels& ActiveFilterKernels() {
    static const FilterKernels& table = FilterKernelsFor(ActiveSimdLevel());
    return table;
}

namespace {

// Sums of one box window: colours of the showing pixels, alpha of all, how many show.
struct LineSum {
    uint32_t c[3] = {0, 0, 0};
    uint32_t alpha = 0;
    uint32_t showing = 0;
    void Add(const uint8_t* p) {
        if (p[kAlpha] == 0) return;
        c[0] += p[0], c[1] += p[1], c[2] += p[2], alpha += p[kAlpha], ++showing;
    }
    void Remove(const uint8_t* p) {
        if (p[kAlpha] == 0) return;
        c[0] -= p[0], c[1] -= p[1], c[2] -= p[2], alpha -= p[kAlpha], --showing;
    }
};

// The pixel of a window of `side` pixels (pixels beyond the image count as transparent). Six
// passes in a row: each rounds to nearest, as truncating would darken a wide faint blur by up
// to six levels.
inline void PutWindow(uint8_t* out, const LineSum& s, const ExactDivider& side) {
    if (s.showing == 0) {
        std::memset(out, 0, 4);
        return;
    }
    const uint32_t half = side.Divisor() / 2;
    for (int ch = 0; ch < 3; ++ch)
        out[ch] = static_cast<uint8_t>(s.showing == side.Divisor() ? side.Divide(s.c[ch] + half)
                                                                   : (s.c[ch] + s.showing / 2) / s.showing);
    out[kAlpha] = static_cast<uint8_t>(side.Divide(s.alpha + half));
}

// Horizontal box of half-size b from src rows into dst rows (both width x height, stride width * 4).
void BoxPassRows(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t b) {
    const ExactDivider side(static_cast<uint32_t>(2 * b + 1));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = src + static_cast<size_t>(y) * width * 4;
        uint8_t* out = dst + static_cast<size_t>(y) * width * 4;
        LineSum s;
        for (int32_t x = 0; x <= b && x < width; ++x) s.Add(in + 4 * static_cast<size_t>(x));
        for (int32_t x = 0; x < width; ++x) {
            PutWindow(out + 4 * static_cast<size_t>(x), s, side);
            if (x + b + 1 < width) s.Add(in + 4 * static_cast<size_t>(x + b + 1));
            if (x - b >= 0) s.Remove(in + 4 * static_cast<size_t>(x - b));
        }
    }
}

// Vertical box of half-size b, with one running sum per column; columns: width sums.
void BoxPassColumns(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t b, LineSum* columns) {
    const ExactDivider side(static_cast<uint32_t>(2 * b + 1));
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    std::fill(columns, columns + width, LineSum{});
    auto add = [&](int32_t y) {
        const uint8_t* in = src + static_cast<size_t>(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) columns[x].Add(in + 4 * static_cast<size_t>(x));
    };
    auto remove = [&](int32_t y) {
        const uint8_t* in = src + static_cast<size_t>(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) columns[x].Remove(in + 4 * static_cast<size_t>(x));
    };
    for (int32_t y = 0; y <= b && y < height; ++y) add(y);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<size_t>(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x) PutWindow(out + 4 * static_cast<size_t>(x), columns[x], side);
        if (y + b + 1 < height) add(y + b + 1);
        if (y - b >= 0) remove(y - b);
    }
}

}  // namespace

HRESULT GaussianBlurRunning(uint8_t* pixels, int32_t width, int32_t height, float radius) {
    if (!(radius > 0)) return S_OK;
    if (!pixels || width <= 0 || height <= 0) return E_INVALIDARG;
    if (width < radius || height < radius) return E_INVALIDARG;
    if (width > INT32_MAX / 4) return E_INVALIDARG;

    // Three boxes of widths wl or wl + 2 (odd) whose variances (w^2 - 1) / 12 sum to sigma^2.
    const double r1 = static_cast<double>(radius) + 1.0;
    const double variance = r1 * r1 * 0.12146653;  // sigma^2 of the tap weights
    int32_t low = static_cast<int32_t>(std::floor(std::sqrt(4.0 * variance + 1.0)));
    if (low % 2 == 0) --low;
    low = std::max(low, 1);
    const double lowPasses = std::round((12.0 * variance - 3.0 * low * low - 12.0 * low - 9.0) / (-4.0 * low - 4.0));
    const size_t imageBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const size_t columnBytes = (static_cast<size_t>(width) * sizeof(LineSum) + 63) / 64 * 64;
    AlignedBuffer block(columnBytes + imageBytes);
    if (!block) return E_OUTOFMEMORY;
    auto* columns = reinterpret_cast<LineSum*>(block.Data());
    uint8_t* work = block.Data() + columnBytes;
    for (int pass = 0; pass < 3; ++pass) {
        // Windows wider than the sums can hold are cut; no title reaches them (radius bound).
        const int32_t w = std::min(pass < lowPasses ? low : low + 2, 2 * 65535 + 1);
        const int32_t b = (w - 1) / 2;
        BoxPassRows(work, pixels, width, height, b);
        BoxPassColumns(pixels, work, width, height, b, columns);
    }
    return S_OK;
}

namespace {

// Taps on either side of the centre for a blur of `radius` over an image of the given size: the
// radius rounded up, cut so that the window fits the shorter side.
int32_t GaussTapRadius(float radius, int32_t width, int32_t height) {
    int32_t n = static_cast<int32_t>(std::ceil(radius));
    const int32_t shorter = std::min(width, height);
    if (shorter < 2 * n + 1) n = (shorter - 1) / 2;
    return n;
}

// The 2n + 1 tap weights, from the unclamped radius, normalised to 32768 and rounded one by one;
// returns their total (at least 1).
uint32_t GaussWeights(float radius, int32_t n, uint32_t* weights) {
    const double r1 = static_cast<double>(radius) + 1.0;
    const double sigma = std::sqrt(r1 * r1 * 0.12146653);
    const double w0 = 1.0 / (sigma * std::sqrt(2.0 * std::numbers::pi));
    auto tail = [&](int32_t i) { return w0 * std::exp(-static_cast<double>(i) * i / (2.0 * sigma * sigma)); };
    double sum = w0;
    for (int32_t i = 1; i <= n; ++i) sum += 2.0 * tail(i);
    uint32_t total = 0;
    for (int32_t i = -n; i <= n; ++i) {
        const double fi = i == 0 ? w0 : tail(std::abs(i));
        weights[i + n] = static_cast<uint32_t>(fi / sum * 32768.0 + 0.5);
        total += weights[i + n];
    }
    return std::max<uint32_t>(total, 1);
}

}  // namespace

HRESULT GaussianBlurWith(const FilterKernels& kernels, uint8_t* pixels, int32_t width, int32_t height,
                         float radius) {
    if (!(radius > 0)) return S_OK;  // also NaN: nothing to do
    if (!pixels || width <= 0 || height <= 0) return E_INVALIDARG;
    if (width < radius || height < radius) return E_INVALIDARG;
    if (width > INT32_MAX / 4) return E_INVALIDARG;
    if (radius > kMaxGaussTapsRadius) return GaussianBlurRunning(pixels, width, height, radius);

    const int32_t n = GaussTapRadius(radius, width, height);
    const int32_t taps = 2 * n + 1;

    // Working memory: the weights, the tap row pointers, one source row with n transparent pixels
    // on either side (so the horizontal taps need no cut-off: a transparent tap adds nothing),
    // then the ring of horizontal results (original row r lives in slot r % taps), each part on
    // a cache line.
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    auto lines = [](size_t bytes) { return (bytes + 63) / 64 * 64; };
    const size_t weightBytes = lines(static_cast<size_t>(taps) * sizeof(uint32_t));
    const size_t pointerBytes = lines(static_cast<size_t>(taps) * sizeof(uint8_t*));
    const size_t paddedBytes = lines(rowBytes + static_cast<size_t>(n) * 8);
    AlignedBuffer block(weightBytes + pointerBytes + paddedBytes + static_cast<size_t>(taps) * rowBytes);
    if (!block) return E_OUTOFMEMORY;
    uint32_t* weights = reinterpret_cast<uint32_t*>(block.Data());
    const uint8_t** rows = reinterpret_cast<const uint8_t**>(block.Data() + weightBytes);
    uint8_t* padded = block.Data() + weightBytes + pointerBytes;
    uint8_t* ring = padded + paddedBytes;
    std::memset(padded, 0, paddedBytes);

    const uint32_t total = GaussWeights(radius, n, weights);
    // A single tap weighs the whole 32768, beyond a signed 16-bit lane.
    const GaussRowFn row = GaussTapsSimdReady(weights, taps, total) ? kernels.gaussRow : scalar::GaussRow;
    auto slot = [&](int32_t r) { return ring + static_cast<size_t>(r % taps) * rowBytes; };

    int32_t filled = 0;  // rows [0, filled) have their horizontal results in the ring
    for (int32_t y = 0; y < height; ++y) {
        // Row y - n - 1 has left the window before row y + n takes its slot.
        for (const int32_t need = std::min(height - 1, y + n); filled <= need; ++filled) {
            std::memcpy(padded + static_cast<size_t>(n) * 4,
                        pixels + static_cast<ptrdiff_t>(filled) * static_cast<ptrdiff_t>(rowBytes), rowBytes);
            for (int32_t k = 0; k < taps; ++k) rows[k] = padded + static_cast<size_t>(k) * 4;
            row(slot(filled), rows, weights, taps, 0, width, total);
        }

        // The column taps cut off at the top and bottom rows.
        const int32_t first = std::max(-n, -y);
        const int32_t last = std::min(n, height - 1 - y);
        const int32_t count = last - first + 1;
        for (int32_t k = 0; k < count; ++k) rows[k] = slot(y + first + k);
        // A finished row is never read again: the ring holds the originals the window still needs.
        row(pixels + static_cast<ptrdiff_t>(y) * static_cast<ptrdiff_t>(rowBytes), rows, weights + n + first, count,
            0, width, total);
    }
    return S_OK;
}

HRESULT GaussianBlur(uint8_t* pixels, int32_t width, int32_t height, float radius) {
    return GaussianBlurWith(ActiveFilterKernels(), pixels, width, height, radius);
}

// An image of one colour. Where every showing pixel has the colour c, every colour sum of a pass
// is c times its weight of showing taps, so the colour comes out as c exactly wherever any tap
// with a weight shows, and as 0 elsewhere; and the alpha sums never look at colour. So the
// horizontal pass is the alpha plane's own blur, and the vertical pass gives alpha from the
// plane and colour c wherever its sum is not 0: a quarter of the arithmetic, and the same bytes.
HRESULT GaussianBlurOneColourWith(const FilterKernels& kernels, uint8_t* pixels, const uint8_t* alpha, int32_t width,
                                  int32_t height, float radius, uint32_t colour) {
    if (!pixels || !alpha || width <= 0 || height <= 0 || width > INT32_MAX / 4) return E_INVALIDARG;
    colour &= 0x00FFFFFFu;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto sharp = [&] {
        for (size_t i = 0; i < count; ++i) {
            const uint32_t word = alpha[i] == 0 ? 0 : colour | uint32_t(alpha[i]) << 24;
            std::memcpy(pixels + 4 * i, &word, 4);
        }
    };
    if (!(radius > 0) || width < radius || height < radius || radius > kMaxGaussTapsRadius) {
        sharp();
        return GaussianBlurWith(kernels, pixels, width, height, radius);
    }
    const int32_t n = GaussTapRadius(radius, width, height);
    const int32_t taps = 2 * n + 1;
    auto lines = [](size_t bytes) { return (bytes + 63) / 64 * 64; };
    const size_t weightBytes = lines(static_cast<size_t>(taps) * sizeof(uint32_t));
    const size_t pointerBytes = lines(static_cast<size_t>(taps) * sizeof(uint8_t*));
    const size_t paddedBytes = lines(static_cast<size_t>(width) + 2 * static_cast<size_t>(n));
    AlignedBuffer block(weightBytes + pointerBytes + paddedBytes + count);
    if (!block) {
        sharp();  // as the four-byte blur leaves an image it has no memory for
        return E_OUTOFMEMORY;
    }
    uint32_t* weights = reinterpret_cast<uint32_t*>(block.Data());
    const uint8_t** rows = reinterpret_cast<const uint8_t**>(block.Data() + weightBytes);
    uint8_t* padded = block.Data() + weightBytes + pointerBytes;
    uint8_t* across = padded + paddedBytes;  // the horizontal pass, width x height
    std::memset(padded, 0, paddedBytes);
    const uint32_t total = GaussWeights(radius, n, weights);
    const bool simd = GaussTapsSimdReady(weights, taps, total);
    const GaussAlphaRowFn alphaRow = simd ? kernels.gaussAlphaRow : scalar::GaussAlphaRow;
    const GaussTintRowFn tintRow = simd ? kernels.gaussTintRow : scalar::GaussTintRow;

    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(padded + n, alpha + static_cast<size_t>(y) * width, static_cast<size_t>(width));
        for (int32_t k = 0; k < taps; ++k) rows[k] = padded + k;
        alphaRow(across + static_cast<size_t>(y) * width, rows, weights, taps, 0, width, total);
    }
    for (int32_t y = 0; y < height; ++y) {
        const int32_t first = std::max(-n, -y);
        const int32_t last = std::min(n, height - 1 - y);
        const int32_t window = last - first + 1;
        for (int32_t k = 0; k < window; ++k) rows[k] = across + static_cast<size_t>(y + first + k) * width;
        tintRow(pixels + static_cast<size_t>(y) * width * 4, rows, weights + n + first, window, 0, width, total,
                colour);
    }
    return S_OK;
}

HRESULT GaussianBlurOneColour(uint8_t* pixels, const uint8_t* alpha, int32_t width, int32_t height, float radius,
                              uint32_t colour) {
    return GaussianBlurOneColourWith(ActiveFilterKernels(), pixels, alpha, width, height, radius, colour);
}

// ----------------------------------------------------------------------------------------------
// Box blur

namespace {

// Window sums fit 32 bits while 255 * (2b + 1)^2 < 2^32: a box of at most 4095 pixels a side.
constexpr int32_t kMaxBoxRadius = 2047;  // pixels

// Colours of the showing pixels, alpha of all, and how many show.
struct BoxSum {
    uint32_t c[3];
    uint32_t alpha;
    uint32_t showing;
};

inline void AddSum(BoxSum& s, const BoxSum& o) {
    s.c[0] += o.c[0];
    s.c[1] += o.c[1];
    s.c[2] += o.c[2];
    s.alpha += o.alpha;
    s.showing += o.showing;
}

inline void SubtractSum(BoxSum& s, const BoxSum& o) {
    s.c[0] -= o.c[0];
    s.c[1] -= o.c[1];
    s.c[2] -= o.c[2];
    s.alpha -= o.alpha;
    s.showing -= o.showing;
}

// Adds (sign +1) or removes (sign -1) one image row from the column sums.
template <int kSign>
void AccumulateRow(BoxSum* columns, const uint8_t* row, int32_t width) {
    for (int32_t x = 0; x < width; ++x, row += 4) {
        const uint32_t a = row[kAlpha];
        if (a == 0) continue;  // contributes nothing: no colour, no alpha, not showing
        BoxSum& s = columns[x];
        if constexpr (kSign > 0) {
            s.c[0] += row[0], s.c[1] += row[1], s.c[2] += row[2], s.alpha += a, ++s.showing;
        } else {
            s.c[0] -= row[0], s.c[1] -= row[1], s.c[2] -= row[2], s.alpha -= a, --s.showing;
        }
    }
}

// The box blur of src into dst with a (2b + 1)-pixel square window cut off at the image's edges;
// the caller guarantees 2b + 1 <= min(width, height). columns: width sums of working memory.
void BoxBlurImage(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,
                  int32_t height, int32_t b, BoxSum* columns) {
    std::memset(static_cast<void*>(columns), 0, static_cast<size_t>(width) * sizeof(BoxSum));
    for (int32_t r = 0; r <= b; ++r) AccumulateRow<+1>(columns, src + static_cast<ptrdiff_t>(r) * srcStride, width);

    const uint32_t side = static_cast<uint32_t>(2 * b + 1);
    ExactDivider interior;  // the area of a window that the left and right edges do not cut
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t rows = static_cast<uint32_t>(std::min(height - 1, y + b) - std::max(0, y - b) + 1);
        if (interior.Divisor() != rows * side) interior.Set(rows * side);

        BoxSum run{};
        for (int32_t x = 0; x <= b; ++x) AddSum(run, columns[x]);
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
        for (int32_t x = 0; x < width; ++x, out += 4) {
            if (run.showing == 0) {
                std::memset(out, 0, 4);
            } else {
                const uint32_t cols = static_cast<uint32_t>(std::min(width - 1, x + b) - std::max(0, x - b) + 1);
                const uint32_t area = rows * cols;
                if (area == interior.Divisor()) {
                    out[kAlpha] = static_cast<uint8_t>(interior.Divide(run.alpha));
                    if (run.showing == area) {
                        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(interior.Divide(run.c[c]));
                    } else {
                        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(run.c[c] / run.showing);
                    }
                } else {
                    out[kAlpha] = static_cast<uint8_t>(run.alpha / area);
                    for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(run.c[c] / run.showing);
                }
            }
            if (x + b + 1 < width) AddSum(run, columns[x + b + 1]);
            if (x - b >= 0) SubtractSum(run, columns[x - b]);
        }
        if (y + b + 1 < height)
            AccumulateRow<+1>(columns, src + static_cast<ptrdiff_t>(y + b + 1) * srcStride, width);
        if (y - b >= 0) AccumulateRow<-1>(columns, src + static_cast<ptrdiff_t>(y - b) * srcStride, width);
    }
}

// The window half-size for a radius of `whole` pixels, cut to what the image can hold.
int32_t BoxHalfSize(int32_t whole, int32_t width, int32_t height) {
    int32_t b = std::min(whole, kMaxBoxRadius);
    const int32_t shorter = std::min(width, height);
    if (shorter < 2 * b + 1) b = (shorter - 1) / 2;
    return b;
}

bool Overlap(const uint8_t* a, size_t aBytes, const uint8_t* b, size_t bBytes) {
    return a < b + bBytes && b < a + aBytes;
}

}  // namespace

HRESULT BoxBlur(uint8_t* pixels, int32_t width, int32_t height, float radius) {
    if (!(radius > 0)) return S_OK;
    if (!pixels || width <= 0 || height <= 0) return E_INVALIDARG;
    if (width < radius || height < radius) return E_INVALIDARG;
    if (width > INT32_MAX / 4) return E_INVALIDARG;

    const int32_t b = BoxHalfSize(static_cast<int32_t>(std::ceil(radius)), width, height);
    const size_t imageBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const size_t columnBytes = (static_cast<size_t>(width) * sizeof(BoxSum) + 63) / 64 * 64;
    AlignedBuffer block(columnBytes + imageBytes);
    if (!block) return E_OUTOFMEMORY;
    uint8_t* out = block.Data() + columnBytes;
    BoxBlurImage(out, width * 4, pixels, width * 4, width, height, b, reinterpret_cast<BoxSum*>(block.Data()));
    std::memcpy(pixels, out, imageBytes);
    return S_OK;
}

HRESULT BoxBlurCopy(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstStride,
                    int32_t srcStride, int32_t radius) {
    if (radius < 1 || !dst || !src || width <= 0 || height <= 0) return E_INVALIDARG;
    if (width > INT32_MAX / 4 || dstStride < width * 4 || srcStride < width * 4) return E_INVALIDARG;

    const int32_t b = BoxHalfSize(radius, width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    const size_t srcBytes = static_cast<size_t>(height - 1) * static_cast<size_t>(srcStride) + rowBytes;
    const size_t dstBytes = static_cast<size_t>(height - 1) * static_cast<size_t>(dstStride) + rowBytes;
    const size_t columnBytes = (static_cast<size_t>(width) * sizeof(BoxSum) + 63) / 64 * 64;
    // Writing a row while later rows of the window are still unread needs a source of its own.
    const bool sameMemory = Overlap(dst, dstBytes, src, srcBytes);
    AlignedBuffer block(columnBytes + (sameMemory ? srcBytes : 0));
    if (!block) return E_OUTOFMEMORY;
    if (sameMemory) {
        uint8_t* copy = block.Data() + columnBytes;
        std::memcpy(copy, src, srcBytes);
        src = copy;
    }
    BoxBlurImage(dst, dstStride, src, srcStride, width, height, b, reinterpret_cast<BoxSum*>(block.Data()));
    return S_OK;
}

// ----------------------------------------------------------------------------------------------
// Vertical smoothing

// Each pixel over itself and its neighbours above and below, the window cut off at the first and
// last rows. Alpha is divided by the rows in the window: 3 inside, 2 in the first and last rows,
// and 1 for an image of a single row, which keeps its alpha (only the colour of transparent pixels
// is cleared). Two saved rows hold the originals that the next row still needs.
HRESULT SmoothVertical(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    if (!pixels || width <= 0 || height <= 0) return E_INVALIDARG;
    if (width > INT32_MAX / 4 || stride < width * 4) return E_INVALIDARG;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    AlignedBuffer saved(2 * rowBytes);
    if (!saved) return E_OUTOFMEMORY;
    uint8_t* above = saved.Data();
    uint8_t* current = saved.Data() + rowBytes;

    // floor(n / k) = (n * kInverse[k]) >> 16 for n <= 765 and k = 1..3.
    static constexpr uint32_t kInverse[4] = {0, 65536, 32768, 21846};
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * stride;
        std::memcpy(current, row, rowBytes);
        const uint8_t* up = y > 0 ? above : nullptr;
        const uint8_t* down = y + 1 < height ? row + stride : nullptr;
        const uint32_t windowRows = 1 + (up ? 1 : 0) + (down ? 1 : 0);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* window[3] = {current + 4 * x, up ? up + 4 * x : nullptr, down ? down + 4 * x : nullptr};
            uint32_t sum[3] = {0, 0, 0};
            uint32_t alpha = 0;
            uint32_t showing = 0;
            for (const uint8_t* p : window) {
                if (!p || p[kAlpha] == 0) continue;
                ++showing;
                alpha += p[kAlpha];
                for (int c = 0; c < 3; ++c) sum[c] += p[c];
            }
            uint8_t* out = row + 4 * x;
            if (showing == 0) {
                std::memset(out, 0, 4);
                continue;
            }
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] * kInverse[showing]) >> 16);
            out[kAlpha] = static_cast<uint8_t>((alpha * kInverse[windowRows]) >> 16);
        }
        std::swap(above, current);
    }
    return S_OK;
}

HRESULT SmoothVertical(uint8_t* frame, int32_t frameWidth, int32_t frameHeight, const RECT& rect) {
    if (!frame || frameWidth <= 0 || frameHeight <= 0 || frameWidth > INT32_MAX / 4) return E_INVALIDARG;
    const int32_t left = std::max(rect.left, 0);
    const int32_t top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, frameWidth);
    const int32_t bottom = std::min(rect.bottom, frameHeight);
    if (left >= right || top >= bottom) return S_OK;  // nothing of the rectangle is in the frame
    uint8_t* first = frame + (static_cast<ptrdiff_t>(top) * frameWidth + left) * 4;
    return SmoothVertical(first, right - left, bottom - top, frameWidth * 4);
}

// ----------------------------------------------------------------------------------------------
// Colour conversion

// BT.601 limited range in 12-bit fixed point; 67584 = 16.5 * 4096 and 526336 = 128.5 * 4096 are
// the offsets plus the rounding half.
void RgbToYcc(int r, int g, int b, int* y, int* cb, int* cr) {
    const int luma = (1053 * r + 2064 * g + 401 * b + 67584) >> 12;
    const int blue = (1798 * b - 1192 * g - 606 * r + 526336) >> 12;
    const int red = (1798 * r - 1507 * g - 291 * b + 526336) >> 12;
    if (y) *y = luma;
    if (cb) *cb = blue;
    if (cr) *cr = red;
}

}  // namespace qel
