// The one place where the engine's C-style allocations ask for memory: FreeType's memory object,
// pugixml's allocation functions (when routed here), frame-sized layers and aligned work blocks.
// Each request first asks the gate, so a test can make a chosen allocation fail and check that
// the failure comes back as a status instead of a crash. No gate is installed in normal use and
// every request goes straight to the C library.
//
// The allocations of C++ objects (operator new) are not routed here: a test replaces the global
// operator new and shares its counter with the gate.
#pragma once

#include <cstddef>

namespace qel {

// Answers whether a request of `bytes` may be served; false makes it fail as if memory ran out.
// Called from any thread, possibly many at once.
using AllocationGate = bool (*)(size_t bytes);

// Installs a gate (null removes it). Process-wide; meant for tests only.
void SetAllocationGate(AllocationGate gate) noexcept;

// malloc, calloc, realloc and aligned_alloc behind the gate; the blocks are freed with std::free.
// A refused request returns null and, for realloc, leaves the old block as it was. malloc and
// realloc serve FreeType and pugixml, which cannot say why they failed: their refusals are also
// noted (below). The engine's own code asks with calloc and aligned_alloc and answers
// E_OUTOFMEMORY itself.
void* GatedMalloc(size_t bytes) noexcept;
void* GatedCalloc(size_t count, size_t size) noexcept;
void* GatedRealloc(void* block, size_t bytes) noexcept;
void* GatedAlignedAlloc(size_t alignment, size_t bytes) noexcept;  // bytes: a multiple of alignment

// Where an allocation failure inside FreeType is absorbed on the spot (a glyph comes back empty),
// the place notes it for its thread, so that the code that asked can tell "nothing to draw" from
// "no memory to draw it now" and ask again later instead of keeping the empty answer.
void NoteAllocationFailure() noexcept;
// Whether a failure was noted on this thread since the last call; clears the note.
[[nodiscard]] bool TakeAllocationFailure() noexcept;

}  // namespace qel
