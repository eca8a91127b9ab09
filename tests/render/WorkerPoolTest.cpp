// The worker pool: job order, waits and time-outs, thread limits, destruction with work in flight,
// and a stress run. Every test also runs under ThreadSanitizer (`make tsan`).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "render/WorkerPool.h"

namespace qel {
namespace {

using namespace std::chrono_literals;

// A door that jobs wait at until the test opens it.
class Gate {
public:
    void Open() {
        std::lock_guard held(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void Pass() {
        std::unique_lock held(mutex_);
        cv_.wait(held, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

// What one job sees and leaves behind. `order` is shared by the jobs of one test.
struct Job {
    int32_t value = 0;
    Gate* gate = nullptr;
    std::atomic<int>* order = nullptr;
    int ranAs = -1;  // position in the run order; read only after the job was waited for
    std::atomic<bool> started{false};
};

int32_t RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    job->started = true;
    if (job->gate) job->gate->Pass();
    if (job->order) job->ranAs = job->order->fetch_add(1);
    return job->value;
}

void* AsArgument(intptr_t n) { return reinterpret_cast<void*>(n); }

int32_t Square(void* argument) {
    const auto n = static_cast<int32_t>(reinterpret_cast<intptr_t>(argument));
    return n * n + 1;
}

int32_t Throw(void*) { throw std::runtime_error("job failed"); }

int32_t ReturnAbortMarker(void*) { return WorkerPool::kAbortedResult; }

// Polls a condition that another thread makes true; the bound only keeps a broken pool from
// hanging the run.
template <class Condition>
bool Eventually(Condition condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
        if (condition()) return true;
    }
    return condition();
}

int32_t Submit(WorkerPool& pool, Job& job) {
    int32_t id = -1;
    EXPECT_EQ(pool.Submit(RunJob, &job, &id), S_OK);
    return id;
}

TEST(WorkerPool, StartsNoThreadAndRejectsNullArguments) {
    WorkerPool pool;
    const unsigned processors = std::thread::hardware_concurrency();
    EXPECT_EQ(pool.GetCounts().maxThreads, processors > 0 ? processors : 1u);
    int32_t id = 77;
    int32_t result = 0;
    struct Case {
        WorkerPool::JobFunction function;
        int32_t* jobId;
    };
    for (const Case& c : {Case{nullptr, &id}, Case{Square, nullptr}, Case{nullptr, nullptr}}) {
        EXPECT_EQ(pool.Submit(c.function, nullptr, c.jobId), E_INVALIDARG);
    }
    EXPECT_EQ(id, 77);
    const WorkerPool::Counts counts = pool.GetCounts();
    EXPECT_EQ(counts.activeJobs + counts.queuedJobs + counts.threadCount, 0u);
    EXPECT_EQ(counts.idleThreads + counts.busyThreads + counts.endedThreads, 0u);

    // A null result pointer neither waits nor collects the job.
    ASSERT_EQ(pool.Submit(Square, AsArgument(5), &id), S_OK);
    EXPECT_EQ(id, 0);  // ids start at 0 and the refused submissions used none
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, nullptr), E_INVALIDARG);
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), S_OK);
    EXPECT_EQ(result, 26);
}

TEST(WorkerPool, OneThreadRunsQueuedJobsNewestFirst) {
    WorkerPool pool;
    ASSERT_EQ(pool.SetMaxThreads(1), S_OK);
    Gate gate;
    std::atomic<int> order{0};
    Job jobs[3];
    int32_t ids[3];
    for (int i = 0; i < 3; ++i) {
        jobs[i].value = 100 + i;
        jobs[i].order = &order;
        jobs[i].gate = i == 0 ? &gate : nullptr;
        ids[i] = Submit(pool, jobs[i]);
        EXPECT_EQ(ids[i], i);
    }
    WorkerPool::Counts counts = pool.GetCounts();
    EXPECT_EQ(counts.threadCount, 1u);
    EXPECT_EQ(counts.activeJobs, 1u);
    EXPECT_EQ(counts.queuedJobs, 2u);

    // A queued job can be waited for with a time-out too, and stays.
    int32_t result = -1;
    EXPECT_EQ(pool.Wait(ids[1], 0, &result), WorkerPool::kWaitTimeout);
    EXPECT_EQ(result, -1);

    gate.Open();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pool.Wait(ids[i], WorkerPool::kInfinite, &result), S_OK);
        EXPECT_EQ(result, 100 + i);
    }
    EXPECT_EQ(jobs[0].ranAs, 0);
    EXPECT_EQ(jobs[2].ranAs, 1);  // the newest queued job runs first
    EXPECT_EQ(jobs[1].ranAs, 2);

    counts = pool.GetCounts();
    EXPECT_EQ(counts.idleThreads, 1u);
    EXPECT_EQ(counts.activeJobs + counts.queuedJobs, 0u);
}

TEST(WorkerPool, WaitOnUnknownOrCollectedIdFails) {
    WorkerPool pool;
    int32_t result = 5;
    for (int32_t id : {0, 1, -1, 12345}) {
        EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), E_FAIL);
    }
    EXPECT_EQ(result, 5);

    int32_t id = -1;
    ASSERT_EQ(pool.Submit(Square, AsArgument(3), &id), S_OK);
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), S_OK);
    EXPECT_EQ(result, 10);
    result = 5;
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), E_FAIL);
    EXPECT_EQ(pool.Wait(id, 0, &result), E_FAIL);
    EXPECT_EQ(result, 5);
}

TEST(WorkerPool, ExpiredWaitLeavesTheJobForALaterWait) {
    WorkerPool pool;
    Gate gate;
    Job job;
    job.value = 42;
    job.gate = &gate;
    const int32_t id = Submit(pool, job);
    ASSERT_TRUE(Eventually([&] { return job.started.load(); }));

    int32_t result = -1;
    EXPECT_EQ(pool.Wait(id, 0, &result), WorkerPool::kWaitTimeout);
    EXPECT_EQ(pool.Wait(id, 5, &result), WorkerPool::kWaitTimeout);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(pool.GetCounts().activeJobs, 1u);

    gate.Open();
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), S_OK);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(pool.GetCounts().activeJobs, 0u);
}

TEST(WorkerPool, SecondConcurrentWaiterIsRefused) {
    WorkerPool pool;
    Gate gate;
    Job job;
    job.value = 9;
    job.gate = &gate;
    const int32_t id = Submit(pool, job);

    int32_t firstResult = 0;
    HRESULT firstStatus = E_FAIL;
    std::thread first([&] { firstStatus = pool.Wait(id, WorkerPool::kInfinite, &firstResult); });
    ASSERT_TRUE(Eventually([&] { return pool.GetCounts().waiters == 1; }));
    int32_t result = 0;
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), E_FAIL);
    gate.Open();
    first.join();
    EXPECT_EQ(firstStatus, S_OK);
    EXPECT_EQ(firstResult, 9);
}

TEST(WorkerPool, JobResultsThatLookLikeFailuresAreReturnedAsIs) {
    WorkerPool pool;
    struct Case {
        WorkerPool::JobFunction function;
        int32_t result;
    };
    const Case cases[] = {{ReturnAbortMarker, WorkerPool::kAbortedResult}, {Throw, E_FAIL}};
    for (const Case& c : cases) {
        int32_t id = -1;
        ASSERT_EQ(pool.Submit(c.function, nullptr, &id), S_OK);
        int32_t result = 0;
        EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), S_OK);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(pool.Wait(id, 0, &result), E_FAIL);  // collected, not kept as aborted
    }
}

// Starts `n` jobs that each hold a thread until the gate opens.
std::vector<int32_t> HoldThreads(WorkerPool& pool, Gate& gate, std::vector<Job>& jobs) {
    std::vector<int32_t> ids;
    for (Job& job : jobs) {
        job.gate = &gate;
        ids.push_back(Submit(pool, job));
    }
    return ids;
}

void CollectAll(WorkerPool& pool, const std::vector<int32_t>& ids, const std::vector<Job>& jobs) {
    for (size_t i = 0; i < ids.size(); ++i) {
        int32_t result = -1;
        EXPECT_EQ(pool.Wait(ids[i], WorkerPool::kInfinite, &result), S_OK);
        EXPECT_EQ(result, jobs[i].value);
    }
}

TEST(WorkerPool, MaxThreadsZeroLiftsTheLimit) {
    WorkerPool pool;
    ASSERT_EQ(pool.SetMaxThreads(1), S_OK);
    ASSERT_EQ(pool.SetMaxThreads(0), S_OK);
    Gate gate;
    std::vector<Job> jobs(6);
    for (size_t i = 0; i < jobs.size(); ++i) jobs[i].value = static_cast<int32_t>(i) * 7;
    const std::vector<int32_t> ids = HoldThreads(pool, gate, jobs);

    const WorkerPool::Counts counts = pool.GetCounts();
    EXPECT_EQ(counts.maxThreads, 0xFFFFFFFFu);
    EXPECT_EQ(counts.threadCount, 6u);
    EXPECT_EQ(counts.queuedJobs, 0u);
    gate.Open();
    CollectAll(pool, ids, jobs);
}

TEST(WorkerPool, ShrinkingEndsIdleThreadsAtOnceAndStopIdleEndsTheRest) {
    WorkerPool pool;
    ASSERT_EQ(pool.SetMaxThreads(4), S_OK);
    Gate gate;
    std::vector<Job> jobs(4);
    const std::vector<int32_t> ids = HoldThreads(pool, gate, jobs);
    gate.Open();
    CollectAll(pool, ids, jobs);
    ASSERT_EQ(pool.GetCounts().idleThreads, 4u);

    ASSERT_EQ(pool.SetMaxThreads(1), S_OK);
    WorkerPool::Counts counts = pool.GetCounts();
    EXPECT_EQ(counts.threadCount, 1u);
    EXPECT_EQ(counts.idleThreads, 1u);
    EXPECT_EQ(counts.maxThreads, 1u);
    EXPECT_TRUE(Eventually([&] {
        const WorkerPool::Counts c = pool.GetCounts();
        return c.busyThreads == 0 && c.endedThreads == 3;
    }));

    ASSERT_EQ(pool.StopIdleThreads(), S_OK);
    counts = pool.GetCounts();
    EXPECT_EQ(counts.threadCount, 0u);
    EXPECT_EQ(counts.idleThreads + counts.busyThreads + counts.endedThreads, 0u);

    // The pool stays usable and starts a thread again.
    int32_t id = -1;
    int32_t result = 0;
    ASSERT_EQ(pool.Submit(Square, AsArgument(4), &id), S_OK);
    EXPECT_EQ(pool.Wait(id, WorkerPool::kInfinite, &result), S_OK);
    EXPECT_EQ(result, 17);
    EXPECT_EQ(pool.GetCounts().threadCount, 1u);
}

TEST(WorkerPool, ShrinkingLetsBusyThreadsFinishAndDrainTheQueue) {
    WorkerPool pool;
    ASSERT_EQ(pool.SetMaxThreads(2), S_OK);
    Gate gate;
    std::vector<Job> jobs(5);
    for (size_t i = 0; i < jobs.size(); ++i) jobs[i].value = 1000 + static_cast<int32_t>(i);
    const std::vector<int32_t> ids = HoldThreads(pool, gate, jobs);
    WorkerPool::Counts counts = pool.GetCounts();
    ASSERT_EQ(counts.busyThreads, 2u);
    ASSERT_EQ(counts.queuedJobs, 3u);

    ASSERT_EQ(pool.SetMaxThreads(1), S_OK);
    counts = pool.GetCounts();
    EXPECT_EQ(counts.threadCount, 1u);
    EXPECT_EQ(counts.busyThreads, 2u);  // the one told to end still runs its job

    gate.Open();
    CollectAll(pool, ids, jobs);
    counts = pool.GetCounts();
    EXPECT_EQ(counts.idleThreads, 1u);
    EXPECT_EQ(counts.busyThreads, 0u);
    EXPECT_EQ(counts.endedThreads, 1u);
}

TEST(WorkerPool, DestructionAbortsPendingJobsAndWaitsForTheRunningOne) {
    auto pool = std::make_unique<WorkerPool>();
    ASSERT_EQ(pool->SetMaxThreads(1), S_OK);
    Gate gate;
    std::atomic<int> order{0};
    Job jobs[4];
    int32_t ids[4];
    for (int i = 0; i < 4; ++i) {
        jobs[i].gate = i == 0 ? &gate : nullptr;
        jobs[i].order = &order;
        ids[i] = Submit(*pool, jobs[i]);
    }
    ASSERT_TRUE(Eventually([&] { return jobs[0].started.load(); }));

    // Waiters already blocked on the running job and on a queued one learn of the abort.
    struct Waiter {
        HRESULT status = S_OK;
        int32_t result = 0;
        std::thread thread;
    } waiters[2];
    const int32_t waitedIds[2] = {ids[0], ids[2]};
    for (int i = 0; i < 2; ++i) {
        waiters[i].thread = std::thread([&pool, &waiters, &waitedIds, i] {
            waiters[i].status = pool->Wait(waitedIds[i], WorkerPool::kInfinite, &waiters[i].result);
        });
    }
    ASSERT_TRUE(Eventually([&] { return pool->GetCounts().waiters == 2; }));

    std::thread destroyer([&pool] { pool.reset(); });
    for (Waiter& waiter : waiters) {
        waiter.thread.join();
        EXPECT_EQ(waiter.status, E_ABORT);
        EXPECT_EQ(waiter.result, E_ABORT);
    }
    gate.Open();  // the destructor returns only once the running job is done
    destroyer.join();

    EXPECT_EQ(order.load(), 1);
    EXPECT_EQ(jobs[0].ranAs, 0);
    for (int i = 1; i < 4; ++i) EXPECT_FALSE(jobs[i].started.load()) << "queued job " << i;
}

TEST(WorkerPool, DestructionWithIdleEndedAndUncollectedWork) {
    for (uint32_t maxThreads : {1u, 3u}) {
        WorkerPool pool;
        ASSERT_EQ(pool.SetMaxThreads(maxThreads), S_OK);
        std::vector<int32_t> ids(8);
        for (size_t i = 0; i < ids.size(); ++i) {
            ASSERT_EQ(pool.Submit(Square, AsArgument(static_cast<intptr_t>(i)), &ids[i]), S_OK);
        }
        int32_t result = 0;
        EXPECT_EQ(pool.Wait(ids[0], WorkerPool::kInfinite, &result), S_OK);
        ASSERT_EQ(pool.SetMaxThreads(1), S_OK);  // leaves ended threads behind when there were 3
    }  // the remaining jobs are never collected: destruction frees them
}

TEST(WorkerPool, StressManyJobsFromSeveralThreadsWhileTheLimitChanges) {
    WorkerPool pool;
    ASSERT_EQ(pool.SetMaxThreads(4), S_OK);
    constexpr int kSubmitters = 3;
    constexpr int kJobs = 1500;
    constexpr int kBatch = 40;
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};

    std::thread tuner([&] {
        const uint32_t limits[] = {1, 3, 0, 2, 4};
        for (unsigned round = 0; !done; ++round) {
            (void)pool.SetMaxThreads(limits[round % 5]);
            if (round % 7 == 0) (void)pool.StopIdleThreads();
            std::this_thread::sleep_for(1ms);
        }
    });
    std::vector<std::thread> submitters;
    for (int s = 0; s < kSubmitters; ++s) {
        submitters.emplace_back([&pool, &failures, s] {
            for (int first = 0; first < kJobs; first += kBatch) {
                int32_t ids[kBatch];
                for (int i = 0; i < kBatch; ++i) {
                    const intptr_t n = s * kJobs + first + i;
                    if (pool.Submit(Square, AsArgument(n), &ids[i]) != S_OK) ++failures;
                }
                // Alternate the order of the waits: oldest first, then newest first.
                for (int k = 0; k < kBatch; ++k) {
                    const int i = (first / kBatch) % 2 ? kBatch - 1 - k : k;
                    const int32_t n = static_cast<int32_t>(s * kJobs + first + i);
                    int32_t result = 0;
                    if (pool.Wait(ids[i], WorkerPool::kInfinite, &result) != S_OK ||
                        result != n * n + 1) {
                        ++failures;
                    }
                }
            }
        });
    }
    for (std::thread& t : submitters) t.join();
    done = true;
    tuner.join();

    EXPECT_EQ(failures.load(), 0);
    const WorkerPool::Counts counts = pool.GetCounts();
    EXPECT_EQ(counts.activeJobs + counts.queuedJobs, 0u);
}

}  // namespace
}  // namespace qel
