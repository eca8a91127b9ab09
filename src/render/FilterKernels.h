// The row kernels behind the Gaussian blur and the outline dilation, in a plain scalar form that
// states the arithmetic and in SSE2 and AVX2 forms that must give the same bytes. One table per
// instruction set; the blur and the dilation run through the table chosen once for the processor
// (QEL_FORCE_SCALAR=1 picks the scalar one).
//
// Pixels are 4 bytes, three colour bytes then straight alpha; masks and alpha planes 1 byte.
#pragma once

#include <cstdint>

#include "qel/QEL_Title2.h"
#include "render/SimdSupport.h"

namespace qel {

// One output row of a blur pass: for every x in [begin, end), over the taps k = 0 .. count - 1
// with p = taps[k] + 4x and w'_k = weights[k] where p's alpha is not 0 and 0 where it is,
//   Wc = sum w'_k;  colour = (sum w'_k * colour) / Wc;  alpha = (sum w'_k * alpha) / total,
// in integer divisions, and (0, 0, 0, 0) where Wc = 0. The result goes to out + 4x.
// Preconditions: sum of weights <= total; out does not overlap any tap row in [begin, end).
// The SIMD kernels also need every weight <= 32767 and total <= 65535 (so that each sum stays
// below 2^24 and is exact in a float); GaussTapsSimdReady tells.
using GaussRowFn = void (*)(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights,
                            int32_t count, int32_t begin, int32_t end, uint32_t total);

// The same pass over an image of one colour, which is its alpha alone (one byte per pixel):
//   alpha = (sum w_k * a_k) / total  (a tap of alpha 0 adds nothing, as above).
// The row form writes that alpha as a byte to out + x. The tinted form writes the pixel the
// four-byte kernel gives where every showing tap has the colour `colour` (a pixel word whose
// alpha byte is 0): colour | alpha << 24 where the sum is not 0 (some tap with a weight shows),
// else 0, as a little-endian word to out + 4x. Preconditions: sum of weights <= total <= 65535,
// every weight <= 32767; out does not overlap any tap row in [begin, end).
using GaussAlphaRowFn = void (*)(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights,
                                 int32_t count, int32_t begin, int32_t end, uint32_t total);
using GaussTintRowFn = void (*)(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights,
                                int32_t count, int32_t begin, int32_t end, uint32_t total, uint32_t colour);

// One row of grey-level dilation by one kernel row (see OutlineKernel.h): for every destination
// column X in [lo, hi),
//   d[X] = max(d[X], max over c in [begin, end) of clamp(cells[c] + p[X - c], 0, 255)),
// where p holds the source row as signed values (-255 where a pixel does not stamp). Only
// [lo, hi) is written. Preconditions: p[X - c] readable for all those X and c; cells in
// -255..255, p in -255..255.
using DilateRowFn = void (*)(uint8_t* d, const int16_t* p, const int16_t* cells, int32_t begin,
                             int32_t end, int32_t lo, int32_t hi);

// out[x] = max(a[x], b[x]) for x in [0, count), bytes. out may be a itself; otherwise out overlaps
// neither a nor b.
using MaxRowFn = void (*)(uint8_t* out, const uint8_t* a, const uint8_t* b, int32_t count);

// A dilation kernel whose rows are each symmetric about the centre column, read as chords. For a
// kernel row, cells[halfW + k] = cells[halfW - k] = v_k, so the row raises destination column X
// by max over k of clamp(v_k + max(p[Y - k], p[Y + k])), with Y = X - halfW. The pair maxima
// s_k = max(p[Y - k], p[Y + k]) are the same for every kernel row, so a source row works them out
// once. A row's centre chord of 255 cells (|k| <= core) raises X by 255 + the chord's running
// maximum m_core = max(s_0 .. s_core); the cells beyond it are terms (k, v_k). Mirrored kernel
// rows that are equal are one chord row laid on two destination rows.
struct ChordTerm {
    int16_t k;      // distance from the centre column, 0 .. reach
    int16_t value;  // the cell's value, -254 .. 255
};
struct ChordRow {
    int32_t core;        // the centre chord's half-length, or -1 when the centre cell is below 255
    int32_t firstTerm;   // its terms: plan.terms[firstTerm .. firstTerm + termCount)
    int32_t termCount;
    int32_t rows[2];     // the kernel rows it is laid on; rows[1] = -1 for one
};
constexpr int32_t kMaxChordReach = 31;  // largest k a plan may hold (kernels up to 63 columns)
struct ChordPlan {
    int32_t halfW = 0;
    int32_t reach = 0;    // largest k of any term or core
    int32_t maxCore = -1; // largest core
    int32_t rowCount = 0;
    const ChordRow* rows = nullptr;
    const ChordTerm* terms = nullptr;
};

// One source row laid over every destination row it reaches, by chords: for every destination
// column X in [lo, hi) and every chord row of the plan,
//   d[X] = max(d[X], clamp(max(255 + m_core, max over its terms of value + s_k), 0, 255))
// for d = dst[r] and each r in the row's rows (a null dst[r] is skipped). The same bytes as the
// dilation row kernel run over each kernel row. Preconditions as DilateRowFn, with p readable
// over [lo - 2 halfW, hi + 32).
using DilateChordsFn = void (*)(uint8_t* const* dst, const int16_t* p, const ChordPlan& plan, int32_t lo,
                                int32_t hi);

// The stamping pixels of an inner source row s (rows up and down around it): for every x in
// [begin, end), with w = min(s[x - 1], s[x + 1], up[x], down[x]), p[x] = s[x] where w < s[x] and
// -255 where not; and where s[x] is not 0 yet does not stamp, centre[x] = 255 (unless centre is
// null). Preconditions: s[begin - 1 .. end] readable.
using DilatePrepFn = void (*)(int16_t* p, uint8_t* centre, const uint8_t* s, const uint8_t* up,
                              const uint8_t* down, int32_t begin, int32_t end);

struct FilterKernels {
    const char* name;
    GaussRowFn gaussRow;
    GaussAlphaRowFn gaussAlphaRow;
    GaussTintRowFn gaussTintRow;
    DilateRowFn dilateRow;
    MaxRowFn maxRow;
    DilateChordsFn dilateChords;
    DilatePrepFn dilatePrep;
};

namespace scalar {
void GaussRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
              int32_t begin, int32_t end, uint32_t total);
void GaussAlphaRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                   int32_t begin, int32_t end, uint32_t total);
void GaussTintRow(uint8_t* out, const uint8_t* const* taps, const uint32_t* weights, int32_t count,
                  int32_t begin, int32_t end, uint32_t total, uint32_t colour);
void DilateRow(uint8_t* d, const int16_t* p, const int16_t* cells, int32_t begin, int32_t end,
               int32_t lo, int32_t hi);
void MaxRow(uint8_t* out, const uint8_t* a, const uint8_t* b, int32_t count);
void DilateChords(uint8_t* const* dst, const int16_t* p, const ChordPlan& plan, int32_t lo, int32_t hi);
void DilatePrep(int16_t* p, uint8_t* centre, const uint8_t* s, const uint8_t* up, const uint8_t* down,
                int32_t begin, int32_t end);
}  // namespace scalar

bool GaussTapsSimdReady(const uint32_t* weights, int32_t count, uint32_t total);

const FilterKernels& ScalarFilterKernels();
const FilterKernels& Sse2FilterKernels();
const FilterKernels& Avx2FilterKernels();
// The table for a level; a level the processor lacks must not be asked for.
const FilterKernels& FilterKernelsFor(SimdLevel level);
// The table for ActiveSimdLevel(), chosen on first use.
const FilterKernels& ActiveFilterKernels();

// GaussianBlur through the given table (the public GaussianBlur uses the active one); tests run
// every table against the scalar one.
[[nodiscard]] HRESULT GaussianBlurWith(const FilterKernels& kernels, uint8_t* pixels, int32_t width,
                                       int32_t height, float radius);
// GaussianBlurOneColour through the given table.
[[nodiscard]] HRESULT GaussianBlurOneColourWith(const FilterKernels& kernels, uint8_t* pixels,
                                                const uint8_t* alpha, int32_t width, int32_t height, float radius,
                                                uint32_t colour);

}  // namespace qel
