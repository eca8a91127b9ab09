// A small pool of worker threads that run submitted jobs (a function and one pointer argument)
// and hand each job's result back to the one waiter of its job id. Threads are started on demand
// up to a limit, sleep between jobs, and end when the limit shrinks, when idle threads are
// stopped, or when the pool is destroyed. Queued jobs run newest first.
#pragma once

#include <cstdint>
#include <memory>

#include "qel/QEL_Title2.h"

namespace qel {

class WorkerPool {
public:
    using JobFunction = int32_t (*)(void* argument);

    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;              // Wait without a time-out
    static constexpr HRESULT kWaitTimeout = static_cast<HRESULT>(0xE0000102u);
    static constexpr int32_t kAbortedResult = static_cast<int32_t>(0x8FFFFFFFu);

    WorkerPool();  // no thread is started; the limit is the processor count
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // E_INVALIDARG for a null function or id pointer; else S_OK with the new id in *jobId.
    HRESULT Submit(JobFunction function, void* argument, int32_t* jobId, int32_t priority = 0);
    // S_OK with the job's result; E_FAIL for an unknown (or already collected) id; kWaitTimeout
    // when the time-out expires (the job stays); E_ABORT when the pool aborted the job.
    HRESULT Wait(int32_t jobId, uint32_t timeoutMs, int32_t* result);
    // 0 means no limit. Shrinking ends idle threads at once and busy ones after their job.
    HRESULT SetMaxThreads(uint32_t n);
    HRESULT StopIdleThreads();

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace qel
