#include "render/SimdSupport.h"

#include <cstdlib>

#include "platform/AllocationGate.h"

namespace qel {

SimdLevel DetectSimdLevel(const char* forceScalar) noexcept {
    if (forceScalar && forceScalar[0] != '\0' && forceScalar[0] != '0') return SimdLevel::Scalar;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
    if (__builtin_cpu_supports("sse2")) return SimdLevel::Sse2;
#endif
    return SimdLevel::Scalar;
}

SimdLevel ActiveSimdLevel() noexcept {
    static const SimdLevel level = DetectSimdLevel(std::getenv("QEL_FORCE_SCALAR"));
    return level;
}

const char* SimdLevelName(SimdLevel level) noexcept {
    switch (level) {
        case SimdLevel::Avx2: return "avx2";
        case SimdLevel::Sse2: return "sse2";
        case SimdLevel::Scalar: break;
    }
    return "scalar";
}

AlignedBuffer::AlignedBuffer(size_t bytes) noexcept {
    if (bytes == 0 || bytes > SIZE_MAX - kAlignment) return;
    // aligned_alloc wants a size that is a whole number of alignments.
    const size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    data_ = static_cast<uint8_t*>(GatedAlignedAlloc(kAlignment, rounded));
    if (data_) size_ = bytes;
}

AlignedBuffer::~AlignedBuffer() { std::free(data_); }

}  // namespace qel
