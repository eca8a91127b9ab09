#include "compositor/WorkTeam.h"

#include <chrono>

namespace qel {
namespace {

// How long a helper keeps polling for the next section before it sleeps, in microseconds. The
// gaps between the sections of one frame (effect answers, dirty boxes, clearing) are shorter than
// this; waking a sleeping pool thread costs tens of microseconds, and more on a virtual machine.
constexpr int64_t kHelperSpinMicros = 200;

}  // namespace

WorkTeam::~WorkTeam() {
    if (jobCount_ == 0) return;
    quit_.store(true, std::memory_order_relaxed);
    section_.fetch_add(2, std::memory_order_seq_cst);  // stays even: no section is open
    section_.notify_all();
    for (int32_t k = 0; k < jobCount_; ++k) {
        int32_t result = 0;
        (void)pool_.Wait(jobIds_[k], WorkerPool::kInfinite, &result);
    }
}

void WorkTeam::Start() noexcept {
    if (started_) return;
    started_ = true;
    for (int32_t h = 0; h < helpers_; ++h) {
        if (pool_.Submit(&HelperMain, this, &jobIds_[jobCount_]) != S_OK) break;
        ++jobCount_;
    }
}

uint32_t WorkTeam::NextSection(uint32_t seen) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kHelperSpinMicros);
    for (;;) {
        for (int k = 0; k < 64; ++k) {
            const uint32_t s = section_.load(std::memory_order_acquire);
            if (s != seen) return s;
            CpuRelax();
        }
        if (std::chrono::steady_clock::now() >= until) break;
    }
    section_.wait(seen, std::memory_order_acquire);
    return section_.load(std::memory_order_acquire);
}

int32_t WorkTeam::HelperMain(void* argument) {
    WorkTeam& team = *static_cast<WorkTeam*>(argument);
    uint32_t seen = 0;
    for (;;) {
        const uint32_t s = team.NextSection(seen);
        if (team.quit_.load(std::memory_order_relaxed)) return 0;
        seen = s;
        if ((s & 1) == 0) continue;
        team.inside_.fetch_add(1, std::memory_order_seq_cst);
        if (team.section_.load(std::memory_order_seq_cst) == s) team.Drain();
        team.inside_.fetch_sub(1, std::memory_order_seq_cst);
    }
}

}  // namespace qel
