#include "platform/AllocationGate.h"

#include <atomic>
#include <cstdlib>

namespace qel {
namespace {

std::atomic<AllocationGate> gGate{nullptr};
thread_local bool tFailureNoted = false;

bool Allowed(size_t bytes) noexcept {
    const AllocationGate gate = gGate.load(std::memory_order_acquire);
    return !gate || gate(bytes);
}

void* Noted(void* block) noexcept {
    if (!block) tFailureNoted = true;
    return block;
}

}  // namespace

void SetAllocationGate(AllocationGate gate) noexcept { gGate.store(gate, std::memory_order_release); }

void NoteAllocationFailure() noexcept { tFailureNoted = true; }

bool TakeAllocationFailure() noexcept {
    const bool noted = tFailureNoted;
    tFailureNoted = false;
    return noted;
}

void* GatedMalloc(size_t bytes) noexcept { return Noted(Allowed(bytes) ? std::malloc(bytes) : nullptr); }

void* GatedCalloc(size_t count, size_t size) noexcept {
    return Allowed(count * size) ? std::calloc(count, size) : nullptr;
}

void* GatedRealloc(void* block, size_t bytes) noexcept {
    return Noted(Allowed(bytes) ? std::realloc(block, bytes) : nullptr);
}

void* GatedAlignedAlloc(size_t alignment, size_t bytes) noexcept {
    return Allowed(bytes) ? std::aligned_alloc(alignment, bytes) : nullptr;
}

}  // namespace qel
