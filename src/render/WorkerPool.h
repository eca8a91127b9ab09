// A small pool of worker threads that run submitted jobs (a function and one pointer argument)
// and hand each job's result back to the one waiter of its job id. Threads are started on demand
// up to a limit, sleep between jobs, and end when the limit shrinks, when idle threads are
// stopped, or when the pool is destroyed. Queued jobs run newest first.
//
// Every operation may be called from any thread; one lock guards the pool's lists and counters and
// is never held while a job runs or while a thread is waited for. Each job id has at most one
// waiter at a time: a second concurrent Wait on the same id fails with E_FAIL.
//
// Destruction joins every thread, so a job that is still running delays the destructor until it
// returns. Jobs that had not finished are aborted (never run if still queued); a Wait that was
// already blocked on one returns E_ABORT, and the destructor waits for it to leave before it
// frees anything. No call may start once the destructor has begun.
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
    static constexpr uint32_t kThreadEndTimeoutMs = 1000;           // per thread told to end

    WorkerPool();  // no thread is started; the limit is the processor count
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // E_INVALIDARG for a null function or id pointer; else S_OK with the new id in *jobId.
    // E_OUTOFMEMORY (or E_FAIL when no thread can be started and none exists) queues nothing.
    // The priority is stored with the job; threads run at the process's normal priority on Linux.
    HRESULT Submit(JobFunction function, void* argument, int32_t* jobId,
                   int32_t priority = 0) noexcept;
    // S_OK with the job's result; E_FAIL for an unknown (or already collected) id; kWaitTimeout
    // when the time-out expires (the job stays); E_ABORT, also in *result, when the pool aborted
    // the job; E_INVALIDARG for a null result pointer. A job that throws returns E_FAIL.
    HRESULT Wait(int32_t jobId, uint32_t timeoutMs, int32_t* result) noexcept;
    // 0 means no limit. Shrinking ends idle threads at once and busy ones after their job.
    HRESULT SetMaxThreads(uint32_t n) noexcept;
    // Ends every idle thread, waiting up to kThreadEndTimeoutMs for each, then joins and frees
    // the threads that have ended. A thread that is late is joined by a later call or the
    // destructor; no thread is ever detached or killed.
    HRESULT StopIdleThreads() noexcept;

    // A consistent snapshot of the pool's lists and counters, for diagnostics and tests.
    struct Counts {
        uint32_t idleThreads = 0;
        uint32_t busyThreads = 0;   // running a job, or told to end and not yet gone
        uint32_t endedThreads = 0;  // left their loop, awaiting join
        uint32_t threadCount = 0;   // started and not told to end
        uint32_t maxThreads = 0;
        uint32_t activeJobs = 0;    // handed to a thread and not yet collected
        uint32_t queuedJobs = 0;
        uint32_t waiters = 0;       // callers blocked inside Wait
    };
    Counts GetCounts() const noexcept;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace qel
