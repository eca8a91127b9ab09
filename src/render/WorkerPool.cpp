// Worker pool.
//
// Records and lists. Every job is a PoolJob and every thread a WorkerThread. Both live in
// intrusive singly linked lists that insert at the front: threads move between idle, busy and
// ended; jobs between queued and active. Taking the front of the queue therefore runs the most
// recently queued job first. A record moves between lists under the lock but is freed in only
// three places, which is what makes the pointers held outside the lock safe:
//   - a collected job is freed by its waiter, in Wait, after its `done` event fired; the worker
//     stores the result and signals `done` under the lock as its last touch of the job;
//   - a thread record is freed only after its thread has been joined (ended-thread cleanup);
//   - the destructor frees the rest once every waiter has left and every thread is joined.
//
// Events. Each thread sleeps on its own auto-reset `wake` event; each job has an auto-reset `done`
// event. They are signalled under the pool lock, and waited on without it, so the lock order is
// always pool lock, then an event's own mutex.
//
// Aborted jobs. Only destruction aborts jobs. A job that has not finished gets the abort marker as
// result and its `done` is signalled; a job still queued never runs. The record stays until the
// end of the destructor, so a Wait that was already blocked on it reads E_ABORT safely, and the
// destructor frees nothing until every such waiter has left.
//
// Priority. Jobs carry a priority and threads take it on with each job, but the value is only
// recorded: on Linux raising a thread's priority needs privileges, and every job runs at normal
// priority in practice.
#include "render/WorkerPool.h"

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace qel {
namespace {

// An auto-reset event: Set leaves it signalled until one Wait consumes the signal.
class Event {
public:
    void Set() {
        std::lock_guard held(mutex_);
        signalled_ = true;
        // Notified under the event's mutex: the waiter cannot return (and its owner cannot free
        // the event) before this call is done with it.
        cv_.notify_one();
    }

    // True when a signal was consumed, false when timeoutMs (or kInfinite) expired first.
    bool Wait(uint32_t timeoutMs) {
        std::unique_lock held(mutex_);
        const auto signalled = [this] { return signalled_; };
        if (timeoutMs == WorkerPool::kInfinite) {
            cv_.wait(held, signalled);
        } else if (!cv_.wait_for(held, std::chrono::milliseconds(timeoutMs), signalled)) {
            return false;
        }
        signalled_ = false;
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

// A singly linked list threaded through the records' `next` member; it owns nothing.
template <class T>
class FrontList {
public:
    T* Front() const { return head_; }
    bool Empty() const { return head_ == nullptr; }

    void PushFront(T* item) {
        item->next = head_;
        head_ = item;
    }

    T* PopFront() {
        T* item = head_;
        if (item) {
            head_ = item->next;
            item->next = nullptr;
        }
        return item;
    }

    bool Remove(T* item) {
        for (T** link = &head_; *link; link = &(*link)->next) {
            if (*link == item) {
                *link = item->next;
                item->next = nullptr;
                return true;
            }
        }
        return false;
    }

    template <class Predicate>
    T* Find(Predicate matches) const {
        for (T* item = head_; item; item = item->next) {
            if (matches(*item)) return item;
        }
        return nullptr;
    }

    uint32_t Size() const {
        uint32_t n = 0;
        for (T* item = head_; item; item = item->next) ++n;
        return n;
    }

    void DeleteAll() {
        while (T* item = PopFront()) delete item;
    }

private:
    T* head_ = nullptr;
};

struct PoolJob {
    int32_t id = 0;
    Event done;
    int32_t result = 0;
    WorkerPool::JobFunction function = nullptr;
    void* argument = nullptr;
    int32_t priority = 0;
    bool finished = false;  // result stored and `done` signalled by the worker
    bool aborted = false;   // the pool was destroyed before the job finished
    bool waited = false;    // a Wait is blocked on `done`
    PoolJob* next = nullptr;
};

enum class ThreadState : int32_t { Ended = 0, Waiting = 1, Running = 2 };

struct WorkerThread {
    std::thread handle;
    Event wake;
    ThreadState state = ThreadState::Waiting;  // written by the thread itself, under the lock
    PoolJob* job = nullptr;                    // current job, or null when told to end
    bool endRequested = false;
    int32_t priority = 0;                      // recorded only (see the note at the top)
    bool pinned = false;                       // StopIdleThreads is waiting on it: do not free
    WorkerThread* next = nullptr;              // link of idle, busy or ended threads
    WorkerThread* nextOwned = nullptr;         // private chains of StopIdleThreads and cleanup
};

int32_t RunJob(const PoolJob& job) noexcept {
    try {
        return job.function(job.argument);
    } catch (...) {
        // A job is a C-style function, but one that throws must not end the process.
        return E_FAIL;
    }
}

}  // namespace

struct WorkerPool::State {
    mutable std::mutex lock;
    // Signalled when a thread retires or the last waiter leaves Wait during destruction.
    std::condition_variable changed;

    bool stopping = false;
    FrontList<WorkerThread> idleThreads;
    FrontList<WorkerThread> busyThreads;
    FrontList<WorkerThread> endedThreads;
    FrontList<PoolJob> activeJobs;
    FrontList<PoolJob> queuedJobs;
    int32_t nextJobId = 0;
    uint32_t threadCount = 0;  // started and not told to end
    uint32_t maxThreads = 1;
    uint32_t waiters = 0;

    // Everything below runs with `lock` held.

    int32_t TakeJobId() {
        const int32_t id = nextJobId;
        // Ids stay non-negative; after 2^31 jobs they start again from 0.
        nextJobId = id == std::numeric_limits<int32_t>::max() ? 0 : id + 1;
        return id;
    }

    PoolJob* FindJob(int32_t id) const {
        const auto hasId = [id](const PoolJob& job) { return job.id == id; };
        PoolJob* job = activeJobs.Find(hasId);
        return job ? job : queuedJobs.Find(hasId);
    }

    // The thread must already be in busyThreads.
    void Assign(WorkerThread* thread, PoolJob* job) {
        activeJobs.PushFront(job);
        thread->job = job;
        thread->priority = job->priority;
        thread->wake.Set();
    }

    void Complete(PoolJob* job, int32_t result) {
        if (job->aborted) return;  // keeps the marker; `done` was signalled by the destructor
        job->result = result;
        job->finished = true;
        job->done.Set();
    }

    static void Abort(PoolJob* job) {
        job->aborted = true;
        job->result = kAbortedResult;
        job->done.Set();
    }

    // Worker side, after a job: hand it the newest queued job, or park it as idle.
    void FinishJob(WorkerThread* self, PoolJob* job, int32_t result) {
        if (PoolJob* queued = queuedJobs.PopFront()) {
            Assign(self, queued);
        } else {
            busyThreads.Remove(self);
            self->job = nullptr;
            idleThreads.PushFront(self);
        }
        if (job) Complete(job, result);
    }

    // The thread leaves its loop in the same locked section, so an ended thread has nothing
    // left to do but return, and joining it is short.
    void Retire(WorkerThread* self) {
        if (!busyThreads.Remove(self)) idleThreads.Remove(self);
        self->job = nullptr;
        self->state = ThreadState::Ended;
        endedThreads.PushFront(self);
        changed.notify_all();
    }

    // Moves the first idle thread to busyThreads with no job and tells it to end.
    WorkerThread* EndFirstIdleThread() {
        WorkerThread* thread = idleThreads.PopFront();
        thread->job = nullptr;
        thread->endRequested = true;
        thread->priority = 0;
        busyThreads.PushFront(thread);
        --threadCount;
        thread->wake.Set();
        return thread;
    }

    HRESULT StartThread(WorkerThread** started) {
        auto* thread = new (std::nothrow) WorkerThread;
        if (!thread) return E_OUTOFMEMORY;
        try {
            // The thread first sleeps on `wake`, so it touches nothing until a job is assigned.
            thread->handle = std::thread([this, thread] { Run(thread); });
        } catch (const std::system_error&) {
            delete thread;
            return E_FAIL;
        } catch (...) {
            delete thread;
            return E_OUTOFMEMORY;
        }
        ++threadCount;
        *started = thread;
        return S_OK;
    }

    // Joins and frees the ended threads, with the lock released while joining.
    void JoinEndedThreads(std::unique_lock<std::mutex>& held) {
        WorkerThread* chain = nullptr;
        for (WorkerThread* thread = endedThreads.Front(); thread;) {
            WorkerThread* following = thread->next;
            if (!thread->pinned) {
                endedThreads.Remove(thread);
                thread->nextOwned = chain;
                chain = thread;
            }
            thread = following;
        }
        if (!chain) return;
        held.unlock();
        while (chain) {
            WorkerThread* thread = chain;
            chain = thread->nextOwned;
            thread->handle.join();
            delete thread;
        }
        held.lock();
    }

    // The thread's body: sleep on `wake`, run the current job, finish it, repeat.
    void Run(WorkerThread* self) {
        for (;;) {
            self->wake.Wait(kInfinite);
            PoolJob* job = nullptr;
            {
                std::lock_guard held(lock);
                if (stopping) {
                    Retire(self);
                    break;
                }
                job = self->job;
                self->state = ThreadState::Running;
            }
            // Fields of a published job never change, so they are read without the lock.
            const int32_t result = job && job->function ? RunJob(*job) : 0;

            std::lock_guard held(lock);
            if (self->endRequested || stopping) {
                Retire(self);
                if (job) Complete(job, result);
                break;
            }
            FinishJob(self, job, result);
            self->state = ThreadState::Waiting;
        }
    }
};

WorkerPool::WorkerPool() : state_(std::make_unique<State>()) {
    const unsigned processors = std::thread::hardware_concurrency();
    state_->maxThreads = processors > 0 ? processors : 1;
}

WorkerPool::~WorkerPool() {
    State& s = *state_;
    std::unique_lock held(s.lock);
    s.stopping = true;
    for (PoolJob* job = s.activeJobs.Front(); job; job = job->next) {
        if (!job->finished) State::Abort(job);
    }
    for (PoolJob* job = s.queuedJobs.Front(); job; job = job->next) State::Abort(job);
    // Idle threads wake to `stopping` and end; busy ones end after their current job.
    for (WorkerThread* thread = s.idleThreads.Front(); thread; thread = thread->next) {
        thread->wake.Set();
    }
    // A waiter blocked on an aborted job is on its way out; it still reads the job's record.
    s.changed.wait(held, [&s] { return s.waiters == 0; });

    // Threads keep moving between lists until they end, so they are chained through their own
    // link before the lock is released, then joined without it. Joining waits as long as a job
    // is still running: no thread may outlive the records it uses.
    WorkerThread* chain = nullptr;
    for (FrontList<WorkerThread>* list : {&s.idleThreads, &s.busyThreads, &s.endedThreads}) {
        for (WorkerThread* thread = list->Front(); thread; thread = thread->next) {
            thread->nextOwned = chain;
            chain = thread;
        }
    }
    held.unlock();
    while (chain) {
        WorkerThread* thread = chain;
        chain = thread->nextOwned;
        thread->handle.join();
        delete thread;
    }
    s.activeJobs.DeleteAll();
    s.queuedJobs.DeleteAll();
}

HRESULT WorkerPool::Submit(JobFunction function, void* argument, int32_t* jobId,
                           int32_t priority) noexcept {
    if (!function || !jobId) return E_INVALIDARG;
    auto* job = new (std::nothrow) PoolJob;
    if (!job) return E_OUTOFMEMORY;
    job->function = function;
    job->argument = argument;
    job->priority = priority;

    State& s = *state_;
    std::lock_guard held(s.lock);
    WorkerThread* thread = s.idleThreads.PopFront();
    if (!thread && s.threadCount < s.maxThreads) {
        const HRESULT started = s.StartThread(&thread);
        // Without a new thread the job can still wait for one of the running threads, which
        // all are busy (none is idle) and each take a queued job when theirs is done.
        if (started != S_OK && s.threadCount == 0) {
            delete job;
            return started;
        }
    }
    job->id = s.TakeJobId();
    *jobId = job->id;
    if (!thread) {
        s.queuedJobs.PushFront(job);
        return S_OK;
    }
    s.busyThreads.PushFront(thread);
    s.Assign(thread, job);
    return S_OK;
}

HRESULT WorkerPool::Wait(int32_t jobId, uint32_t timeoutMs, int32_t* result) noexcept {
    if (!result) return E_INVALIDARG;
    State& s = *state_;
    PoolJob* job = nullptr;
    {
        std::lock_guard held(s.lock);
        job = s.FindJob(jobId);
        // One waiter per job: a second one could see the record freed under it.
        if (!job || job->waited) return E_FAIL;
        if (job->aborted) {
            *result = E_ABORT;
            return E_ABORT;
        }
        job->waited = true;
        ++s.waiters;
    }
    // Only this waiter and the destructor (which waits for us) free the record.
    const bool signalled = job->done.Wait(timeoutMs);

    std::lock_guard held(s.lock);
    job->waited = false;
    HRESULT status = S_OK;
    if (!signalled) {
        status = kWaitTimeout;
    } else if (job->aborted) {
        *result = E_ABORT;
        status = E_ABORT;
    } else {
        *result = job->result;
        s.activeJobs.Remove(job);
        delete job;
    }
    if (--s.waiters == 0 && s.stopping) s.changed.notify_all();
    return status;
}

HRESULT WorkerPool::SetMaxThreads(uint32_t n) noexcept {
    if (n == 0) n = std::numeric_limits<uint32_t>::max();
    State& s = *state_;
    std::unique_lock held(s.lock);
    while (s.threadCount > n && !s.idleThreads.Empty()) s.EndFirstIdleThread();
    for (WorkerThread* thread = s.busyThreads.Front(); thread && s.threadCount > n;
         thread = thread->next) {
        if (!thread->endRequested) {
            thread->endRequested = true;  // ends after its current job
            --s.threadCount;
        }
    }
    s.maxThreads = n;
    s.JoinEndedThreads(held);
    return S_OK;
}

HRESULT WorkerPool::StopIdleThreads() noexcept {
    State& s = *state_;
    std::unique_lock held(s.lock);
    // Tell every idle thread at once, then give each its own time to end. Pinned records are not
    // freed by a concurrent cleanup while this call still reads them.
    WorkerThread* told = nullptr;
    while (!s.idleThreads.Empty()) {
        WorkerThread* thread = s.EndFirstIdleThread();
        thread->pinned = true;
        thread->nextOwned = told;
        told = thread;
    }
    for (WorkerThread* thread = told; thread; thread = thread->nextOwned) {
        s.changed.wait_for(held, std::chrono::milliseconds(kThreadEndTimeoutMs),
                           [thread] { return thread->state == ThreadState::Ended; });
    }
    for (WorkerThread* thread = told; thread; thread = thread->nextOwned) thread->pinned = false;
    // A thread that is late stays in endedThreads (or busyThreads) and is joined later.
    s.JoinEndedThreads(held);
    return S_OK;
}

WorkerPool::Counts WorkerPool::GetCounts() const noexcept {
    const State& s = *state_;
    std::lock_guard held(s.lock);
    Counts counts;
    counts.idleThreads = s.idleThreads.Size();
    counts.busyThreads = s.busyThreads.Size();
    counts.endedThreads = s.endedThreads.Size();
    counts.threadCount = s.threadCount;
    counts.maxThreads = s.maxThreads;
    counts.activeJobs = s.activeJobs.Size();
    counts.queuedJobs = s.queuedJobs.Size();
    counts.waiters = s.waiters;
    return counts;
}

}  // namespace qel
