// Elliptical grey-level dilation: the border ring of a character is its coverage mask grown by an
// ellipse of half-axes (rx, ry) frame pixels, with an anti-aliased edge one pixel wide.
//
// A kernel holds, for every cell around the centre, how far the cell lies inside the ellipse, in
// 1/255 of a pixel along the ray from the centre: 255 at and well inside, -255 well outside, the
// one-pixel edge in between. Dilation lays the kernel, raised by the source value v, over the
// destination at every covered source pixel and keeps the maximum, so a fully covered pixel grows
// a solid ellipse and a half-covered one a proportionally thinner one.
//
// Kernels depend only on (rx, ry), are immutable once made and are shared by every title and
// thread through one process-wide cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "qel/QEL_Title2.h"

namespace qel {

struct OutlineKernel {
    int32_t halfW = 0;  // ceil(rx): columns on each side of the centre
    int32_t halfH = 0;  // ceil(ry): rows above and below the centre
    // (2 * halfH + 1) rows of (2 * halfW + 1) cells, -255 .. 255, rows top to bottom.
    std::unique_ptr<int16_t[]> cells;

    int32_t Columns() const { return 2 * halfW + 1; }
    int32_t Rows() const { return 2 * halfH + 1; }
    size_t Bytes() const;
};

using OutlineKernelRef = std::shared_ptr<const OutlineKernel>;

// Largest half-width or half-height of a kernel (frame pixels); wider borders are drawn at this
// width. A title may ask for any width: the bound keeps one character's work within about a
// second (a kernel of 2048 is 32 MiB and the ring's image about 4100 pixels a side), while a
// border of half a 4K frame's height is still drawn. Hosts read it as kMaxStylePixels.
constexpr int32_t kMaxKernelHalf = kMaxStylePixels;

// From this half-size on, DilateMask lays the kernel's interior down by rows instead of stamping
// it cell by cell (DilateMaskWide): the same bytes at a cost linear in the radius. Below it the
// chords (DilateMaskChordsWith) run, which take kernels up to kMaxChordReach columns a side.
// Measured (BM_DilateOutline, one run) on ring-shaped masks of 80 x 90 and 160 x 180: the chords
// 3.6 and 4.0 times faster than the wide path at radius 20, 4.1 and 3.0 at 25, 2.8 and 5.1 at 30.
constexpr int32_t kWideKernelHalf = 32;

// From this half-height on, the row path works each pair of equal mirrored kernel rows out once
// (see OutlineKernel.cpp): 1.3 to 1.45 times faster at radius 8 and 12, about even at 6, a little
// slower below, where the scratch row costs what it saves.
constexpr int32_t kMirroredRowsHalf = 6;

// The kernel for (rx, ry), from the cache or made and cached. E_INVALIDARG for a negative or
// non-finite radius, or one beyond kMaxKernelHalf; E_OUTOFMEMORY when it cannot be made.
[[nodiscard]] HRESULT GetOutlineKernel(float rx, float ry, OutlineKernelRef* kernel) noexcept;

// Grey-level dilation of src (sw x sh bytes) into dst (dw x dh bytes), each with its own stride
// in bytes. The kernel centre of source pixel (x, y) lands on dst (x + halfW, y + halfH), so dst
// should be (sw + 2 halfW) x (sh + 2 halfH); cells falling outside dst are dropped. dst is cleared
// first. A single-cell kernel copies src. E_INVALIDARG for null pointers or non-positive sizes.
[[nodiscard]] HRESULT DilateMask(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride,
                                 uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                                 const int16_t* kernel, int32_t halfW, int32_t halfH) noexcept;

// The same dilation by stamping the kernel once per outline pixel, in plain C++: the reference
// that the vector path of DilateMask must match bit for bit (and the path QEL_FORCE_SCALAR=1 runs).
[[nodiscard]] HRESULT DilateMaskScalar(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride,
                                       uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                                       const int16_t* kernel, int32_t halfW, int32_t halfH) noexcept;

struct FilterKernels;
// The same dilation a source row at a time through a table's dilation row kernel, cell by cell
// (what DilateMask ran before the chords; kept for measuring). From kMirroredRowsHalf on,
// equal mirrored kernel rows are worked out once for both unless shareMirrored is false (kept for
// measuring). Same results and errors.
[[nodiscard]] HRESULT DilateMaskRowsWith(const FilterKernels& kernels, const uint8_t* src, int32_t sw, int32_t sh,
                                         int32_t srcStride, uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                                         const int16_t* kernel, int32_t halfW, int32_t halfH,
                                         bool shareMirrored = true) noexcept;

// The same dilation a source row at a time by chords (see FilterKernels.h): each kernel row's
// cells paired about the centre column, the pairs' maxima shared by every kernel row, and each
// row's centre run of 255 cells taken as one running maximum (what DilateMask runs below
// kWideKernelHalf unless QEL_FORCE_SCALAR=1). Kernels whose rows are not symmetric, or wider than
// the chords take, go through the row kernel instead. Same results and errors.
[[nodiscard]] HRESULT DilateMaskChordsWith(const FilterKernels& kernels, const uint8_t* src, int32_t sw, int32_t sh,
                                           int32_t srcStride, uint8_t* dst, int32_t dw, int32_t dh,
                                           int32_t dstStride, const int16_t* kernel, int32_t halfW,
                                           int32_t halfH) noexcept;

// The same dilation for wide kernels: each kernel row's longest run of 255 cells is laid down as
// one interval per run of stamping pixels, and only the cells beside it are stamped. Gives the
// bytes of DilateMaskScalar for every kernel; E_OUTOFMEMORY when its working lists cannot be made.
[[nodiscard]] HRESULT DilateMaskWide(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride,
                                     uint8_t* dst, int32_t dw, int32_t dh, int32_t dstStride,
                                     const int16_t* kernel, int32_t halfW, int32_t halfH) noexcept;

// The process-wide kernel cache. Bounded: titles whose border widths change every frame would
// otherwise add a kernel per frame for ever. It keeps at most kMaxKernels kernels and
// kMaxBytes bytes of cells; beyond either, the least recently inserted kernels are dropped.
// Dropped kernels stay alive for as long as a caller holds a reference to them.
class OutlineKernelCache {
public:
    static constexpr size_t kMaxKernels = 256;
    static constexpr size_t kMaxBytes = size_t{64} << 20;

    static OutlineKernelCache& Instance();

    OutlineKernelRef Find(float rx, float ry) noexcept;
    // Inserts kernel for (rx, ry) unless a kernel is already cached there (two threads made the
    // same one); returns the kernel the cache keeps (or the argument if it could not be kept).
    OutlineKernelRef Insert(float rx, float ry, OutlineKernelRef kernel) noexcept;
    void Clear() noexcept;

    size_t Count() const;
    size_t Bytes() const;

private:
    using Key = std::pair<float, float>;  // (rx, ry), ordered by rx, then ry

    void EvictOldest();  // caller holds the lock

    mutable std::mutex lock_;
    std::map<Key, OutlineKernelRef> kernels_;
    std::deque<Key> insertionOrder_;  // oldest first
    size_t bytes_ = 0;
};

}  // namespace qel
