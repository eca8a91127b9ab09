// The compositor's threads: the calling thread and up to kMaxHelpers helper threads that share
// parallel sections (character preparation, placement bands, clearing, joins, blends).
//
// ParallelFor(count, body) runs body(i) once for every i in [0, count) on the calling thread and
// on every helper that is awake, all pulling indices from one counter, and returns when every
// index is done. The body must not throw and must touch only what index i names. The calling
// thread always drains the counter itself, so a helper that is late (or could not be started)
// only means less help.
//
// Helpers are started when a section first needs them and stay for the compositor's life: after a
// section they poll briefly for the next one (the gaps between one frame's sections are short),
// then sleep on the section counter. Rest() sends them to sleep at once (a frame is done: the time
// to the next one is the host's, which the polling would only take processor time from). Wake()
// lets sleeping helpers poll again, so a frame that calls it before its serial start pays the
// wake-up while that start runs. A frame that needs no helper (a replayed still frame) never
// touches them.
//
// Sections. `section_` is odd while a section is open and even between sections. A helper counts
// itself in `inside_` before it checks that the section it saw is still open, and only then reads
// the section's fields; the caller closes the section and then waits for `inside_` to drop to
// zero before it writes the next section's fields. Both orders are sequentially consistent, so
// either the caller waits for the helper or the helper sees the section closed.
//
// Every call but the helpers' own loop comes from the one thread that owns the compositor.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace qel {

constexpr int32_t kMaxHelpers = 31;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

class ThreadTeam {
public:
    ThreadTeam() = default;
    ThreadTeam(const ThreadTeam&) = delete;
    ThreadTeam& operator=(const ThreadTeam&) = delete;
    ~ThreadTeam() { Stop(); }

    // How many helpers the next sections use (clamped to [0, kMaxHelpers]). Helpers beyond the
    // new number are ended; missing ones are started when a section needs them.
    void SetHelpers(int32_t helpers) noexcept;
    int32_t Helpers() const { return wanted_; }
    // Helper threads running now.
    int32_t Running() const { return int32_t(threads_.size()); }

    // Starts missing helpers and lets sleeping ones poll for the next section.
    void Wake() noexcept;
    // Helpers stop polling and sleep until the next Wake or section.
    void Rest() noexcept { resting_.store(true, std::memory_order_relaxed); }
    // Ends and joins every helper; the next section starts them again.
    void Stop() noexcept;

    template <class Body>
    void ParallelFor(int32_t count, Body& body) {
        if (count <= 0) return;
        if (count > 1) StartHelpers();
        resting_.store(false, std::memory_order_relaxed);
        if (threads_.empty() || count == 1) {
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

    void StartHelpers() noexcept;
    // Waits for `section_` to differ from `seen`: polls for a while, then sleeps on it.
    uint32_t NextSection(uint32_t seen) const;
    void HelperMain(uint32_t seen);

    int32_t wanted_ = 0;
    std::vector<std::thread> threads_;

    std::atomic<uint32_t> section_{0};
    std::atomic<int32_t> inside_{0};
    std::atomic<bool> quit_{false};
    std::atomic<bool> resting_{false};
    // The open section; written only while no helper is inside.
    std::atomic<int32_t> next_{0};
    int32_t count_ = 0;
    void* body_ = nullptr;
    void (*call_)(void*, int32_t) = nullptr;
};

}  // namespace qel
