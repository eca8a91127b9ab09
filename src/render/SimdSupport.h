// What the processor offers the pixel kernels, decided once per process, and the aligned working
// memory the kernels like to run on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qel {

// Instruction-set levels the kernels come in, lowest first.
enum class SimdLevel : int32_t { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The level to run at: the best the processor supports, or Scalar when forceScalar is a value
// starting with a character other than '0' (the QEL_FORCE_SCALAR switch; null means unset).
SimdLevel DetectSimdLevel(const char* forceScalar) noexcept;
// DetectSimdLevel(getenv("QEL_FORCE_SCALAR")), evaluated on first use and fixed afterwards.
SimdLevel ActiveSimdLevel() noexcept;
const char* SimdLevelName(SimdLevel level) noexcept;

// A block of working memory starting on a 64-byte boundary. Allocation never throws: a failed
// allocation leaves Data() null, which callers check.
class AlignedBuffer {
public:
    static constexpr size_t kAlignment = 64;  // bytes: one cache line, a whole AVX-512 register

    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes) noexcept;
    ~AlignedBuffer();
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace qel
