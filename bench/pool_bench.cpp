// Worker pool overheads: one submit + wait round trip, and a batch of jobs waited for in
// submission order, as the compositor does for the characters of one string.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "render/WorkerPool.h"

namespace {

int32_t Nothing(void* argument) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(argument));
}

// Latency of handing one job to a sleeping thread and waking the waiter on its result.
void BM_PoolRoundTrip(benchmark::State& state) {
    qel::WorkerPool pool;
    (void)pool.SetMaxThreads(1);
    int32_t id = 0;
    int32_t result = 0;
    for (auto _ : state) {
        (void)pool.Submit(Nothing, nullptr, &id);
        (void)pool.Wait(id, qel::WorkerPool::kInfinite, &result);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_PoolRoundTrip)->UseRealTime();

// Submit n jobs to up to `threads` threads, then collect them oldest first.
void BM_PoolBatch(benchmark::State& state) {
    const auto jobs = static_cast<size_t>(state.range(0));
    qel::WorkerPool pool;
    (void)pool.SetMaxThreads(static_cast<uint32_t>(state.range(1)));
    std::vector<int32_t> ids(jobs);
    int32_t result = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < jobs; ++i) {
            (void)pool.Submit(Nothing, reinterpret_cast<void*>(static_cast<intptr_t>(i)), &ids[i]);
        }
        for (size_t i = 0; i < jobs; ++i) {
            (void)pool.Wait(ids[i], qel::WorkerPool::kInfinite, &result);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * jobs));
}
BENCHMARK(BM_PoolBatch)->ArgsProduct({{8, 64, 512}, {1, 2}})->UseRealTime();

}  // namespace
