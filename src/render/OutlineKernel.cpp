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
#include "render/OutlineKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

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
    if (!kernel->cells) return nullptr;

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

HRESULT DilateMask(const uint8_t* src, int32_t sw, int32_t sh, int32_t srcStride, uint8_t* dst,
                   int32_t dw, int32_t dh, int32_t dstStride, const int16_t* kernel, int32_t halfW,
                   int32_t halfH) noexcept {
    if (!src || !dst || !kernel || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || srcStride < sw ||
        dstStride < dw || halfW < 0 || halfH < 0) {
        return E_INVALIDARG;
    }
    for (int32_t y = 0; y < dh; ++y) std::memset(dst + size_t(y) * dstStride, 0, size_t(dw));

    if (halfW == 0 && halfH == 0) {
        const int32_t rows = std::min(sh, dh);
        const int32_t columns = std::min(sw, dw);
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(dst + size_t(y) * dstStride, src + size_t(y) * srcStride, size_t(columns));
        }
        return S_OK;
    }

    // Per kernel row, the columns whose cells exceed -255: only they can raise a byte.
    const int32_t kColumns = 2 * halfW + 1;
    const int32_t kRows = 2 * halfH + 1;
    std::unique_ptr<int32_t[]> spans(new (std::nothrow) int32_t[size_t(kRows) * 2]);
    if (!spans) return E_OUTOFMEMORY;
    for (int32_t r = 0; r < kRows; ++r) {
        const int16_t* row = kernel + size_t(r) * kColumns;
        int32_t begin = 0, end = kColumns;
        while (begin < end && row[begin] <= -255) ++begin;
        while (end > begin && row[end - 1] <= -255) --end;
        spans[2 * r] = begin;
        spans[2 * r + 1] = end;
    }

    for (int32_t y = 0; y < sh; ++y) {
        const uint8_t* s = src + size_t(y) * srcStride;
        const bool edgeRow = y == 0 || y == sh - 1;
        for (int32_t x = 0; x < sw; ++x) {
            const int32_t v = s[x];
            if (v == 0) continue;
            const bool interior = !edgeRow && x != 0 && x != sw - 1 && s[x - 1] >= v &&
                                  s[x + 1] >= v && s[x - srcStride] >= v && s[x + srcStride] >= v;
            if (interior) {
                const int32_t cx = x + halfW, cy = y + halfH;
                if (cx < dw && cy < dh) dst[size_t(cy) * dstStride + cx] = 255;
                continue;
            }
            // The kernel's top-left cell lands on dst (x, y).
            for (int32_t r = 0; r < kRows; ++r) {
                const int32_t dy = y + r;
                if (dy >= dh) break;
                const int32_t begin = spans[2 * r];
                const int32_t end = std::min(spans[2 * r + 1], dw - x);
                if (begin >= end) continue;
                StampRow(dst + size_t(dy) * dstStride + x + begin,
                         kernel + size_t(r) * kColumns + begin, end - begin, v);
            }
        }
    }
    return S_OK;
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
