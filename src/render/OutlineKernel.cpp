// Elliptical kernels, their process-wide cache, and grey-level dilation.
//
// The kernel is built from one quarter, q[j][k] for j = 0..f rows down and k = 0..e columns
// across, and mirrored into the four quadrants. For a cell at (k, j) the ray from the centre
// through the cell meets the ellipse x^2/rx^2 + y^2/ry^2 = 1 at distance
//     rx * ry * sqrt(d2 / (rx^2 j^2 + ry^2 k^2)),   d2 = j^2 + k^2,
// so g = that distance - sqrt(d2) says how far inside (g > 0) or outside the cell lies, in
// pixels. Cells more than a pixel inside are 255, more than a pixel outside -255, and the edge
// pixel in between gets g * 255 (truncated), which makes the grown outline anti-aliased.
//
// Dilation stamps the kernel, raised by the source value, at every covered source pixel and keeps
// the per-byte maximum. An interior pixel whose four neighbours are at least as strong adds
// nothing beyond its own centre (their stamps already cover its surroundings), so the cost
// follows the glyph's outline rather than its area.
//
// The row path computes the same maxima a source row at a time: for each kernel cell (r, c) it
// lays the whole row, raised by that cell, over destination row y + r shifted by c, through the
// dilation row kernel of the filter table (16 bytes per step with SSE2, 32 with AVX2). Pixels
// that do not stamp take the value -255, which no cell can raise above 0.
//
// Mirrored rows. An elliptical kernel's rows r and 2 halfH - r are equal, so a source row lays
// the same values over both of their destination rows. The row path works each such pair out once
// into a scratch row and raises both destination rows by it with a byte maximum, which is nearly
// half the row kernel's work for the same bytes.
//
// Chords. Every row of an elliptical kernel is symmetric about the centre column, so a row's cells
// at distance k on either side raise X by the same value v_k over max(p[Y - k], p[Y + k]) (Y = X -
// halfW), and those pair maxima are the same for every kernel row: a source row works them out
// once per destination column, and each kernel row is then a few terms on them. A row's centre
// run of 255 cells raises X to 255 wherever any pixel under it stamps: one running maximum of the
// pair maxima, whatever the run's length. Clamping commutes with the maxima, so the bytes are
// those of the cell-by-cell row path, for about a third of its work at radius 3 and a small
// fraction of it at larger radii (the terms grow with the radius, the cells with its square).
//
// Wide kernels (thick borders at full size) take a third path with the same result. Stamping
// costs the kernel's area per outline pixel, which grows with the square of the radius, yet most
// of a wide kernel is its interior of 255 cells, which raises every byte it covers to 255 whatever
// the source value. So each kernel row is split into its longest run of 255 cells (the core) and
// the cells beside it. Consecutive stamping pixels of a source row lay their cores down as one
// interval of the destination row, which a difference array per destination row collects and a
// prefix sum turns into coverage. The cells beside the cores, a band about two pixels deep along
// the ellipse, are stamped per pixel, but only where they reach a byte that no core covers: at
// the grown shape's outer edge and in its holes. Maxima do not depend on the order they are
// taken in, so the bytes equal those of stamping every cell, and the cost grows with the radius
// times the outline, plus the destination's area.
#include "render/OutlineKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "render/FilterKernels.h"
#include "render/SimdSupport.h"

namespace qel {
namespace {

int16_t QuarterCell(double rx, double ry, int32_t j, int32_t k) {
    if (j == 0 && k == 0) return 255;
    const double d2 = double(j) * j + double(k) * k;
    const double denominator = rx * rx * j * j + ry * ry * k * k;
    double g;
    if (denominator > 0) {
        g = rx * ry * std::sqrt(d2 / denominator) - std::sqrt(d2);
    } else {
        // A flat ellipse (one radius 0) seen along its other axis: the boundary lies at the
        // other radius, which is the limit of the formula above.
        g = (k == 0 ? ry : rx) - std::sqrt(d2);
    }
    if (g > 1) return 255;
    if (g < -1) return -255;
    return static_cast<int16_t>(g * 255);  // truncation towards zero
}

std::shared_ptr<OutlineKernel> MakeKernel(float rx, float ry) noexcept {
    std::shared_ptr<OutlineKernel> kernel;
    try {
        kernel = std::make_shared<OutlineKernel>();
    } catch (...) {
        return nullptr;
    }
    const int32_t e = static_cast<int32_t>(std::ceil(rx));
    const int32_t f = static_cast<int32_t>(std::ceil(ry));
    kernel->halfW = e;
    kernel->halfH = f;
    const size_t columns = size_t(2) * e + 1;
    kernel->cells.reset(new (std::nothrow) int16_t[size_t(kernel->Rows()) * columns]);
    if (!kernel->cells) return nullptr;  // noted by GetOutlineKernel

    for (int32_t j = -f; j <= f; ++j) {
        int16_t* row = kernel->cells.get() + size_t(j + f) * columns;
        for (int32_t k = 0; k <= e; ++k) {
            const int16_t value = QuarterCell(rx, ry, std::abs(j), k);
            row[e + k] = value;
            row[e - k] = value;
        }
    }
    return kernel;
}

// d = max(d, min(255, k + v)) over one kernel row; k + v <= d (including every negative sum)
// leaves d alone. Written branch-free so that it vectorises.
inline void StampRow(uint8_t* d, const int16_t* k, int32_t count, int32_t v) {
    for (int32_t c = 0; c < count; ++c) {
        const int32_t raised = std::clamp(k[c] + v, 0, 255);
        d[c] = static_cast<uint8_t>(std::max<int32_t>(d[c], raised));
    }
}

}  // namespace

size_t OutlineKernel::Bytes() const { return size_t(Rows()) * Columns() * sizeof(int16_t); }

HRESULT GetOutlineKernel(float rx, float ry, OutlineKernelRef* kernel) noexcept {
    if (!kernel) return E_INVALIDARG;
    kernel->reset();
    if (!(rx >= 0) || !(ry >= 0) || !(rx <= kMaxKernelHalf) || !(ry <= kMaxKernelHalf)) {
        return E_INVALIDARG;
    }
    OutlineKernelCache& cache = OutlineKernelCache::Instance();
    if (OutlineKernelRef found = cache.Find(rx, ry)) {
        *kernel = std::move(found);
        return S_OK;
    }
    // Built outside the lock: two threads may make the same kernel, and the cache keeps one.
    std::shared_ptr<OutlineKernel> made = MakeKernel(rx, ry);
    if (!made) return E_OUTOFMEMORY;
    *kernel = cache.Insert(rx, ry, std::move(made));
    return S_OK;
}

namespace {

bool DilateArgumentsValid(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride, const uint8_t* dst,
                          int32_t dw, int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW,
                          int32_t halfH) {
    return src && dst && kernel && sw > 0 && sh > 0 && dw > 0 && dh > 0 && srcStride >= sw &&
           dstStride >= dw && halfW >= 0 && halfH >= 0;
}

void ClearMask(uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride) {
    for (int32_t y = 0; y < dh; ++y) std::memset(dst + size_t(y) * dstStride, 0, size_t(dw));
}

// Per kernel row, the half-open column range whose cells exceed -255: only they can raise a byte.
std::unique_ptr<int32_t[]> KernelSpans(const int16_t* kernel, int32_t halfW, int32_t halfH) {
    const int32_t columns = 2 * halfW + 1, rows = 2 * halfH + 1;
    std::unique_ptr<int32_t[]> spans(new (std::nothrow) int32_t[size_t(rows) * 2]);
    if (!spans) return spans;
    for (int32_t r = 0; r < rows; ++r) {
        const int16_t* row = kernel + size_t(r) * columns;
        int32_t begin = 0, end = columns;
        while (begin < end && row[begin] <= -255) ++begin;
        while (end > begin && row[end - 1] <= -255) --end;
        spans[2 * r] = begin;
        spans[2 * r + 1] = end;
    }
    return spans;
}

// Whether source pixel x of row s (row y of sh) stamps; an interior pixel whose four neighbours
// are each at least as strong does not.
inline bool Stamps(const uint8_t* s, int32_t x, int32_t y, int32_t sw, int32_t sh, int32_t stride) {
    const int32_t v = s[x];
    if (v == 0) return false;
    if (y == 0 || y == sh - 1 || x == 0 || x == sw - 1) return true;
    return !(s[x - 1] >= v && s[x + 1] >= v && s[x - stride] >= v && s[x + stride] >= v);
}

// Bytes of the widest dilation row kernel's group (AVX2).
constexpr int32_t kWidestRowKernel = 32;

// The kernel as chords (FilterKernels.h), or false when a row is not symmetric about the centre
// column or reaches beyond kMaxChordReach: such kernels go cell by cell.
struct ChordKernel {
    std::unique_ptr<ChordRow[]> rows;
    std::unique_ptr<ChordTerm[]> terms;
    ChordPlan plan;
};

static_assert(kWideKernelHalf == kMaxChordReach + 1, "the chords take every kernel below the wide ones");

bool MakeChordKernel(const int16_t* kernel, int32_t halfW, int32_t halfH, ChordKernel* out) {
    if (halfW > kMaxChordReach) return false;
    const int32_t kColumns = 2 * halfW + 1, kRows = 2 * halfH + 1;
    auto cells = [&](int32_t r) { return kernel + size_t(r) * kColumns + halfW; };  // the centre cell
    for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t k = 1; k <= halfW; ++k) {
            if (cells(r)[k] != cells(r)[-k]) return false;
        }
    }
    out->rows.reset(new (std::nothrow) ChordRow[size_t(kRows)]);
    out->terms.reset(new (std::nothrow) ChordTerm[size_t(kRows) * size_t(halfW + 1)]);
    if (!out->rows || !out->terms) return false;
    ChordPlan& plan = out->plan;
    plan = ChordPlan{};
    plan.halfW = halfW;
    plan.rows = out->rows.get();
    plan.terms = out->terms.get();
    int32_t termCount = 0;
    for (int32_t r = 0; r < kRows; ++r) {
        const int32_t mirror = kRows - 1 - r;
        const bool pairedAbove = mirror < r && std::equal(cells(r) - halfW, cells(r) + halfW + 1, cells(mirror) - halfW);
        if (pairedAbove) continue;  // laid with its mirror
        ChordRow row{-1, termCount, 0, {r, -1}};
        if (mirror > r && std::equal(cells(r) - halfW, cells(r) + halfW + 1, cells(mirror) - halfW)) row.rows[1] = mirror;
        while (row.core < halfW && cells(r)[row.core + 1] == 255) ++row.core;
        for (int32_t k = row.core + 1; k <= halfW; ++k) {
            if (cells(r)[k] <= -255) continue;  // raises nothing
            out->terms[size_t(termCount++)] = ChordTerm{int16_t(k), cells(r)[k]};
            plan.reach = std::max(plan.reach, k);
        }
        row.termCount = termCount - row.firstTerm;
        if (row.core < 0 && row.termCount == 0) continue;
        plan.reach = std::max(plan.reach, row.core);
        plan.maxCore = std::max(plan.maxCore, row.core);
        out->rows[size_t(plan.rowCount++)] = row;
    }
    return true;
}

// The row path: each source row once, as signed values, and every kernel row laid over its
// destination row by the table's row kernel; with shareMirrored, the kernel rows whose mirror
// (row 2 halfH - r) is equal are worked out once for both (see "Mirrored rows" above).
HRESULT DilateRows(const FilterKernels& kernels, const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride,
                   uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW,
                   int32_t halfH, const int32_t* spans, bool shareMirrored, const ChordPlan* chords) {
    // The source row as signed values, -255 where a pixel does not stamp, with 2 * halfW + 32 such
    // cells on either side so that every destination column reads inside the array.
    const int32_t pad = 2 * halfW + 32;
    std::unique_ptr<int16_t[]> row(new (std::nothrow) int16_t[size_t(sw) + 2 * size_t(pad)]);
    if (!row) return E_OUTOFMEMORY;
    std::fill_n(row.get(), size_t(sw) + 2 * size_t(pad), int16_t(-255));
    int16_t* p = row.get() + pad;  // p[x] for source column x; p[-pad .. sw + pad) readable

    const int32_t kColumns = 2 * halfW + 1, kRows = 2 * halfH + 1;
    // mirrored[r] for r < halfH: kernel rows r and kRows - 1 - r are equal.
    std::unique_ptr<bool[]> mirrored(new (std::nothrow) bool[size_t(halfH) + 1]());
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[size_t(dw)]);
    std::unique_ptr<uint8_t*[]> dstRows(new (std::nothrow) uint8_t*[size_t(kRows)]);
    if (!mirrored || !scratch || !dstRows) return E_OUTOFMEMORY;
    for (int32_t r = 0; shareMirrored && halfH >= kMirroredRowsHalf && r < halfH; ++r) {
        mirrored[size_t(r)] = std::memcmp(kernel + size_t(r) * kColumns, kernel + size_t(kRows - 1 - r) * kColumns,
                                          size_t(kColumns) * sizeof(int16_t)) == 0;
    }
    for (int32_t y = 0; y < sh; ++y) {
        const uint8_t* s = src + size_t(y) * srcStride;
        if (y == 0 || y == sh - 1 || sw <= 2) {
            for (int32_t x = 0; x < sw; ++x) p[x] = s[x] != 0 ? int16_t(s[x]) : int16_t(-255);
        } else {
            // Stamps() for a whole row through the table's prep kernel: the end pixels always
            // stamp, an inner one unless its four neighbours are each at least as strong, in which
            // case its own centre is set to 255 (where the destination has it).
            const uint8_t* up = s - srcStride;
            const uint8_t* down = s + srcStride;
            uint8_t* centre = y + halfH < dh ? dst + size_t(y + halfH) * dstStride + halfW : nullptr;
            const int32_t centres = std::min(sw - 1, dw - halfW);  // inner columns with a centre in dst
            p[0] = s[0] != 0 ? int16_t(s[0]) : int16_t(-255);
            p[sw - 1] = s[sw - 1] != 0 ? int16_t(s[sw - 1]) : int16_t(-255);
            // A destination cut short holds fewer centres than the row has inner pixels: those
            // are set again over the columns it has (p comes out the same).
            const bool allCentres = centre && centres == sw - 1;
            kernels.dilatePrep(p, allCentres ? centre : nullptr, s, up, down, 1, sw - 1);
            if (centre && !allCentres && centres > 1) scalar::DilatePrep(p, centre, s, up, down, 1, centres);
        }
        // The first and last covered pixels of a row always stamp (a row's end pixels do, and an
        // inner one has an uncovered neighbour), so they bound its stamping pixels exactly.
        int32_t first = 0, last = sw - 1;
        for (uint64_t word; first + 8 <= sw && (std::memcpy(&word, s + first, 8), word == 0);) first += 8;
        while (first < sw && s[first] == 0) ++first;
        if (first == sw) continue;
        for (uint64_t word; last >= 7 && (std::memcpy(&word, s + last - 7, 8), word == 0);) last -= 8;
        while (s[last] == 0) --last;
        // Destination columns this row can reach: [first, last + 2 * halfW]. Narrow spans are
        // widened to a whole vector where the row allows: a column the row cannot reach reads
        // only -255 and keeps its byte, and the kernels run their scalar tail below a vector.
        int32_t lo = first, hi = std::min(last + 2 * halfW + 1, dw);
        if (lo >= hi) continue;
        if (hi - lo < kWidestRowKernel) {
            lo = std::max(0, std::min(lo, dw - kWidestRowKernel));
            hi = std::min(dw, std::max(hi, lo + kWidestRowKernel));
        }
        if (chords) {
            for (int32_t r = 0; r < kRows; ++r) dstRows[size_t(r)] = y + r < dh ? dst + size_t(y + r) * dstStride : nullptr;
            kernels.dilateChords(dstRows.get(), p, *chords, lo, hi);
            continue;
        }
        for (int32_t r = 0; r < kRows && y + r < dh; ++r) {
            const int32_t begin = spans[2 * r], end = spans[2 * r + 1];
            if (begin >= end) continue;
            const int32_t mirror = kRows - 1 - r;
            if (r < halfH && mirrored[size_t(r)] && y + mirror < dh) {
                std::memset(scratch.get() + lo, 0, size_t(hi - lo));
                kernels.dilateRow(scratch.get(), p, kernel + size_t(r) * kColumns, begin, end, lo, hi);
                for (const int32_t at : {r, mirror}) {
                    uint8_t* d = dst + size_t(y + at) * dstStride + lo;
                    kernels.maxRow(d, d, scratch.get() + lo, hi - lo);
                }
                continue;
            }
            if (r > halfH && mirrored[size_t(mirror)]) continue;  // laid down with its mirror
            kernels.dilateRow(dst + size_t(y + r) * dstStride, p, kernel + size_t(r) * kColumns, begin, end, lo, hi);
        }
    }
    return S_OK;
}

// Runs of consecutive stamping pixels of one source row, as [first, last] pairs.
struct StampRun {
    int32_t first, last;
};

}  // namespace

HRESULT DilateMaskWide(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride, uint8_t* dst,
                       int32_t dw, int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW,
                       int32_t halfH) noexcept {
    if (!DilateArgumentsValid(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH)) {
        return E_INVALIDARG;
    }
    if (halfW == 0 && halfH == 0) {
        return DilateMaskScalar(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH);
    }
    ClearMask(dst, dw, dh, dstStride);
    const std::unique_ptr<int32_t[]> spans = KernelSpans(kernel, halfW, halfH);
    if (!spans) return E_OUTOFMEMORY;
    const int32_t kColumns = 2 * halfW + 1, kRows = 2 * halfH + 1;

    try {
        // Per kernel row, the longest run [core[2r], core[2r + 1]) of 255 cells inside its span.
        std::vector<int32_t> core(size_t(kRows) * 2);
        for (int32_t r = 0; r < kRows; ++r) {
            const int16_t* cells = kernel + size_t(r) * kColumns;
            int32_t bestBegin = spans[2 * r], bestEnd = spans[2 * r];
            for (int32_t c = spans[2 * r]; c < spans[2 * r + 1];) {
                if (cells[c] != 255) {
                    ++c;
                    continue;
                }
                const int32_t begin = c;
                while (c < spans[2 * r + 1] && cells[c] == 255) ++c;
                if (c - begin > bestEnd - bestBegin) bestBegin = begin, bestEnd = c;
            }
            core[2 * size_t(r)] = bestBegin;
            core[2 * size_t(r) + 1] = bestEnd;
        }

        // The stamping runs of every source row; pixels that do not stamp set their own centre.
        std::vector<StampRun> runs;
        std::vector<size_t> rowRuns(size_t(sh) + 1, 0);  // runs of row y: [rowRuns[y], rowRuns[y + 1])
        for (int32_t y = 0; y < sh; ++y) {
            const uint8_t* s = src + size_t(y) * srcStride;
            rowRuns[size_t(y)] = runs.size();
            for (int32_t x = 0; x < sw; ++x) {
                if (!Stamps(s, x, y, sw, sh, srcStride)) {
                    if (s[x] != 0 && x + halfW < dw && y + halfH < dh) {
                        dst[size_t(y + halfH) * dstStride + size_t(x + halfW)] = 255;
                    }
                    continue;
                }
                if (!runs.empty() && size_t(rowRuns[size_t(y)]) < runs.size() && runs.back().last == x - 1) {
                    runs.back().last = x;
                } else {
                    runs.push_back({x, x});
                }
            }
        }
        rowRuns[size_t(sh)] = runs.size();

        // Destination row by row. First the cores: row Y gathers, from every source row y that
        // reaches it (kernel row Y - y), the interval [first + c0, last + c1) of each run. Then the
        // band pieces of each stamping pixel, skipped where the cores already made every byte 255,
        // which is most of them: only those at the grown shape's edge are stamped.
        std::vector<int32_t> cover(size_t(dw) + 1), open(size_t(dw) + 1);
        for (int32_t Y = 0; Y < dh; ++Y) {
            const int32_t yBegin = std::max(0, Y - kRows + 1), yEnd = std::min(sh - 1, Y);
            if (yBegin > yEnd) continue;
            std::fill(cover.begin(), cover.end(), 0);
            for (int32_t y = yBegin; y <= yEnd; ++y) {
                const int32_t r = Y - y;
                const int32_t c0 = core[2 * size_t(r)], c1 = core[2 * size_t(r) + 1];
                if (c0 >= c1) continue;
                for (size_t i = rowRuns[size_t(y)]; i < rowRuns[size_t(y) + 1]; ++i) {
                    const int32_t begin = runs[i].first + c0;
                    const int32_t end = std::min(runs[i].last + c1, dw);
                    if (begin >= end) continue;
                    ++cover[size_t(begin)];
                    --cover[size_t(end)];
                }
            }
            uint8_t* d = dst + size_t(Y) * dstStride;
            // open[X]: how many of the bytes before X no core covers.
            int32_t depth = 0;
            open[0] = 0;
            for (int32_t X = 0; X < dw; ++X) {
                depth += cover[size_t(X)];
                if (depth > 0) d[X] = 255;
                open[size_t(X) + 1] = open[size_t(X)] + (depth > 0 ? 0 : 1);
            }
            if (open[size_t(dw)] == 0) continue;  // the whole row is 255 already

            for (int32_t y = yBegin; y <= yEnd; ++y) {
                const int32_t r = Y - y;
                const int16_t* cells = kernel + size_t(r) * kColumns;
                const int32_t pieces[2][2] = {{spans[2 * r], core[2 * size_t(r)]},
                                              {core[2 * size_t(r) + 1], spans[2 * r + 1]}};
                const uint8_t* s = src + size_t(y) * srcStride;
                for (size_t i = rowRuns[size_t(y)]; i < rowRuns[size_t(y) + 1]; ++i) {
                    for (int32_t x = runs[i].first; x <= runs[i].last; ++x) {
                        // The kernel's top-left cell lands on (x, y).
                        for (const auto& piece : pieces) {
                            const int32_t begin = piece[0], end = std::min(piece[1], dw - x);
                            if (begin >= end || open[size_t(x + end)] == open[size_t(x + begin)]) continue;
                            StampRow(d + x + begin, cells + begin, end - begin, s[x]);
                        }
                    }
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT DilateMaskScalar(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride, uint8_t* dst,
                         int32_t dw, int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW,
                         int32_t halfH) noexcept {
    if (!DilateArgumentsValid(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH)) {
        return E_INVALIDARG;
    }
    ClearMask(dst, dw, dh, dstStride);
    // Only the true single cell copies. A kernel one column wide but several rows tall (rx = 0,
    // ry > 0, which the outline builder never asks for) is a real vertical segment and dilates.
    if (halfW == 0 && halfH == 0) {
        const int32_t rows = std::min(sh, dh), columns = std::min(sw, dw);
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(dst + size_t(y) * dstStride, src + size_t(y) * srcStride, size_t(columns));
        }
        return S_OK;
    }
    const std::unique_ptr<int32_t[]> spans = KernelSpans(kernel, halfW, halfH);
    if (!spans) return E_OUTOFMEMORY;
    const int32_t kColumns = 2 * halfW + 1, kRows = 2 * halfH + 1;
    for (int32_t y = 0; y < sh; ++y) {
        const uint8_t* s = src + size_t(y) * srcStride;
        for (int32_t x = 0; x < sw; ++x) {
            const int32_t v = s[x];
            if (v == 0) continue;
            if (!Stamps(s, x, y, sw, sh, srcStride)) {
                const int32_t cx = x + halfW, cy = y + halfH;
                if (cx < dw && cy < dh) dst[size_t(cy) * dstStride + cx] = 255;
                continue;
            }
            // The kernel's top-left cell lands on dst (x, y).
            for (int32_t r = 0; r < kRows && y + r < dh; ++r) {
                const int32_t begin = spans[2 * r];
                const int32_t end = std::min(spans[2 * r + 1], dw - x);
                if (begin >= end) continue;
                StampRow(dst + size_t(y + r) * dstStride + x + begin, kernel + size_t(r) * kColumns + begin,
                         end - begin, v);
            }
        }
    }
    return S_OK;
}

HRESULT DilateMask(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride, uint8_t* dst, int32_t dw,
                   int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW, int32_t halfH) noexcept {
    if (std::max(halfW, halfH) >= kWideKernelHalf) {
        return DilateMaskWide(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH);
    }
    if (ActiveSimdLevel() == SimdLevel::Scalar) {
        return DilateMaskScalar(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH);
    }
    return DilateMaskChordsWith(ActiveFilterKernels(), src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW,
                                halfH);
}

HRESULT DilateMaskRowsWith(const FilterKernels& kernels, const uint8_t* src, int32_t sw, int32_t sh,
                           int32_t srcStride, uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                           const int16_t* kernel, int32_t halfW, int32_t halfH, bool shareMirrored) noexcept {
    if (!DilateArgumentsValid(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH)) {
        return E_INVALIDARG;
    }
    if (halfW == 0 && halfH == 0) {
        return DilateMaskScalar(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH);
    }
    const std::unique_ptr<int32_t[]> spans = KernelSpans(kernel, halfW, halfH);
    if (!spans) return E_OUTOFMEMORY;
    ClearMask(dst, dw, dh, dstStride);
    return DilateRows(kernels, src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH, spans.get(),
                      shareMirrored, nullptr);
}

HRESULT DilateMaskChordsWith(const FilterKernels& kernels, const uint8_t* src, int32_t sw, int32_t sh,
                             int32_t srcStride, uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                             const int16_t* kernel, int32_t halfW, int32_t halfH) noexcept {
    if (!DilateArgumentsValid(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH)) {
        return E_INVALIDARG;
    }
    if (halfW == 0 && halfH == 0) {
        return DilateMaskScalar(src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH);
    }
    const std::unique_ptr<int32_t[]> spans = KernelSpans(kernel, halfW, halfH);
    if (!spans) return E_OUTOFMEMORY;
    ChordKernel chords;
    const bool byChords = MakeChordKernel(kernel, halfW, halfH, &chords);
    ClearMask(dst, dw, dh, dstStride);
    return DilateRows(kernels, src, sw, sh, srcStride, dst, dw, dh, dstStride, kernel, halfW, halfH, spans.get(),
                      true, byChords ? &chords.plan : nullptr);
}

OutlineKernelCache& OutlineKernelCache::Instance() {
    static OutlineKernelCache cache;
    return cache;
}

OutlineKernelRef OutlineKernelCache::Find(float rx, float ry) noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = kernels_.find(Key(rx, ry));
    return it == kernels_.end() ? nullptr : it->second;
}

OutlineKernelRef OutlineKernelCache::Insert(float rx, float ry, OutlineKernelRef kernel) noexcept {
    if (!kernel) return kernel;
    const size_t bytes = kernel->Bytes();
    // A kernel larger than the whole budget is handed out but never kept.
    if (bytes > kMaxBytes) return kernel;
    std::lock_guard<std::mutex> guard(lock_);
    const Key key(rx, ry);
    if (const auto it = kernels_.find(key); it != kernels_.end()) return it->second;
    try {
        while (!kernels_.empty() &&
               (kernels_.size() >= kMaxKernels || bytes_ + bytes > kMaxBytes)) {
            EvictOldest();
        }
        insertionOrder_.push_back(key);
        try {
            kernels_.emplace(key, kernel);
        } catch (...) {
            insertionOrder_.pop_back();
            throw;
        }
        bytes_ += bytes;
    } catch (...) {
        // Out of memory for the bookkeeping: the kernel is still good, just not shared.
    }
    return kernel;
}

void OutlineKernelCache::EvictOldest() {
    const Key oldest = insertionOrder_.front();
    insertionOrder_.pop_front();
    const auto it = kernels_.find(oldest);
    if (it == kernels_.end()) return;
    bytes_ -= it->second->Bytes();
    kernels_.erase(it);
}

void OutlineKernelCache::Clear() noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    kernels_.clear();
    insertionOrder_.clear();
    bytes_ = 0;
}

size_t OutlineKernelCache::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return kernels_.size();
}

size_t OutlineKernelCache::Bytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

}  // namespace qel
