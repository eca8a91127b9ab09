#include "compositor/ThreadTeam.h"

#include <chrono>
#include <new>
#include <system_error>

namespace qel {
namespace {

// How long a helper keeps polling for the next section before it sleeps, in microseconds. The
// gaps between the sections of one frame (effect answers, dirty boxes, clearing) are shorter than
// this; waking a sleeping thread costs tens of microseconds, and more on a virtual machine.
constexpr int64_t kHelperSpinMicros = 200;

}  // namespace

void ThreadTeam::SetHelpers(int32_t helpers) noexcept {
    wanted_ = std::clamp(helpers, 0, kMaxHelpers);
    // Helpers share one counter and cannot be told apart: fewer are had by ending all of them.
    if (int32_t(threads_.size()) > wanted_) Stop();
}

void ThreadTeam::StartHelpers() noexcept {
    // A helper starts from the section value of its start, so that a Stop that comes before it
    // first looks still wakes it.
    const uint32_t seen = section_.load(std::memory_order_acquire);
    while (int32_t(threads_.size()) < wanted_) {
        try {
            threads_.emplace_back([this, seen] { HelperMain(seen); });
        } catch (const std::system_error&) {
            break;  // no more threads: the sections run with the helpers there are
        } catch (const std::bad_alloc&) {
            break;
        }
    }
}

void ThreadTeam::Wake() noexcept {
    StartHelpers();
    resting_.store(false, std::memory_order_relaxed);
    if (threads_.empty()) return;
    section_.fetch_add(2, std::memory_order_seq_cst);  // stays even: no section is open
    section_.notify_all();
}

void ThreadTeam::Stop() noexcept {
    if (threads_.empty()) return;
    quit_.store(true, std::memory_order_seq_cst);
    section_.fetch_add(2, std::memory_order_seq_cst);  // stays even: no section is open
    section_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    quit_.store(false, std::memory_order_seq_cst);
}

uint32_t ThreadTeam::NextSection(uint32_t seen) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kHelperSpinMicros);
    for (;;) {
        for (int k = 0; k < 64; ++k) {
            const uint32_t s = section_.load(std::memory_order_acquire);
            if (s != seen) return s;
            CpuRelax();
        }
        if (resting_.load(std::memory_order_relaxed) || std::chrono::steady_clock::now() >= until) break;
    }
    section_.wait(seen, std::memory_order_acquire);
    return section_.load(std::memory_order_acquire);
}

void ThreadTeam::HelperMain(uint32_t seen) {
    for (;;) {
        const uint32_t s = NextSection(seen);
        if (quit_.load(std::memory_order_seq_cst)) return;
        seen = s;
        if ((s & 1) == 0) continue;
        inside_.fetch_add(1, std::memory_order_seq_cst);
        if (section_.load(std::memory_order_seq_cst) == s) Drain();
        inside_.fetch_sub(1, std::memory_order_seq_cst);
    }
}

}  // namespace qel
