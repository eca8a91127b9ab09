// The thread team of one frame: the calling thread and up to kMaxHelpers pool jobs that share the
// frame's parallel sections (character preparation, placement bands, clearing, joins, blends).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include "render/WorkerPool.h"

namespace qel {

constexpr int32_t kMaxHelpers = 31;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// The helpers of one frame. Helpers are pool jobs that stay for the whole frame and take part in
// every parallel section of it, so the frame pays the pool's wake-up once, not once per section;
// Start submits them early, so that the wake-up overlaps the frame's serial start.
//
// Run(count, body) runs body(i) once for every i in [0, count) on the calling thread and on every
// helper that is present, all pulling indices from one counter, and returns when every index is
// done. The body must not throw and must touch only what index i names. The calling thread always
// drains the counter itself, so a helper that has not started yet (or never starts) only means
// less help.
//
// Sections. `section_` is odd while a section is open and even between sections. A helper counts
// itself in `inside_` before it checks that the section it saw is still open, and only then reads
// the section's fields; the caller closes the section and then waits for `inside_` to drop to
// zero before it writes the next section's fields. Both orders are sequentially consistent, so
// either the caller waits for the helper or the helper sees the section closed.
class WorkTeam {
public:
    WorkTeam(WorkerPool& pool, int32_t helpers) : pool_(pool), helpers_(std::clamp(helpers, 0, kMaxHelpers)) {}
    WorkTeam(const WorkTeam&) = delete;
    WorkTeam& operator=(const WorkTeam&) = delete;

    // Sends the helpers home and waits for their jobs.
    ~WorkTeam();

    // Submits the helper jobs once; later calls do nothing.
    void Start() noexcept;

    template <class Body>
    void Run(int32_t count, Body& body) {
        if (count <= 0) return;
        Start();
        if (jobCount_ == 0 || count == 1) {
            for (int32_t i = 0; i < count; ++i) body(i);
            return;
        }
        count_ = count;
        body_ = &body;
        call_ = [](void* b, int32_t i) { (*static_cast<Body*>(b))(i); };
        next_.store(0, std::memory_order_relaxed);
        section_.fetch_add(1, std::memory_order_seq_cst);  // open
        section_.notify_all();
        Drain();
        section_.fetch_add(1, std::memory_order_seq_cst);  // closed
        for (uint32_t spins = 0; inside_.load(std::memory_order_seq_cst) != 0; ++spins) {
            if (spins < 4096) {
                CpuRelax();
            } else {
                std::this_thread::yield();
            }
        }
    }

private:
    void Drain() {
        for (;;) {
            const int32_t i = next_.fetch_add(1, std::memory_order_relaxed);
            if (i >= count_) return;
            call_(body_, i);
        }
    }

    // Waits for `section_` to differ from `seen`: polls for a while, then sleeps on it.
    uint32_t NextSection(uint32_t seen) const;
    static int32_t HelperMain(void* argument);

    WorkerPool& pool_;
    const int32_t helpers_;
    bool started_ = false;
    int32_t jobIds_[kMaxHelpers] = {};
    int32_t jobCount_ = 0;

    std::atomic<uint32_t> section_{0};
    std::atomic<int32_t> inside_{0};
    std::atomic<bool> quit_{false};
    // The open section; written only while no helper is inside.
    std::atomic<int32_t> next_{0};
    int32_t count_ = 0;
    void* body_ = nullptr;
    void (*call_)(void*, int32_t) = nullptr;
};

}  // namespace qel
