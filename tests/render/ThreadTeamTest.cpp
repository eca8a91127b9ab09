// The compositor's thread team: every index of every section runs exactly once, on more than one
// thread when helpers are there, across sections, wake-ups, helper counts that change and stops.
// Every test also runs under ThreadSanitizer (`make tsan`).
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "compositor/ThreadTeam.h"

namespace qel {
namespace {

// Runs one section of `count` indices; each index counts its runs and each slow index waits a
// little, so that helpers polling for work get some. Returns the threads that ran an index.
std::set<std::thread::id> RunSection(ThreadTeam& team, int32_t count, std::vector<int32_t>& runs) {
    runs.assign(size_t(count), 0);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    auto body = [&](int32_t i) noexcept {
        ++runs[size_t(i)];  // each index is its own: no lock needed
        if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::lock_guard held(mutex);
        threads.insert(std::this_thread::get_id());
    };
    team.ParallelFor(count, body);
    return threads;
}

TEST(ThreadTeam, EveryIndexRunsOnceAcrossSectionsHelperCountsAndStops) {
    struct Step {
        int32_t helpers;
        bool wake, stopAfter;
        int32_t count;
    };
    const Step steps[] = {
        {0, false, false, 50},  // no helper: the caller alone
        {1, true, false, 1},    // a single index never needs a helper
        {1, false, false, 200},
        {3, true, false, 300},  // more helpers started
        {1, false, true, 120},  // fewer: every helper ended, one started again
        {2, false, false, 0},   // an empty section
        {2, false, false, 500},
    };
    ThreadTeam team;
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::Message() << step.helpers << " helpers, " << step.count << " indices");
        team.SetHelpers(step.helpers);
        if (step.wake) team.Wake();
        for (int repeat = 0; repeat < 3; ++repeat) {
            std::vector<int32_t> runs;
            const std::set<std::thread::id> threads = RunSection(team, step.count, runs);
            for (int32_t i = 0; i < step.count; ++i) ASSERT_EQ(runs[size_t(i)], 1) << "index " << i;
            EXPECT_LE(int32_t(threads.size()), step.helpers + 1);
            if (step.helpers == 0 || step.count <= 1) {
                EXPECT_LE(threads.size(), 1u);
            }
            if (step.helpers == 0) {
                EXPECT_EQ(team.Running(), 0);
            }
        }
        EXPECT_LE(team.Running(), step.helpers);
        if (step.stopAfter) {
            team.Stop();
            EXPECT_EQ(team.Running(), 0);
        }
    }
}

TEST(ThreadTeam, HelpersShareLongSectionsAndSleepBetweenThem) {
    ThreadTeam team;
    team.SetHelpers(1);
    std::set<std::thread::id> seen;
    // Until the helper took part (a loaded machine may keep it off a processor for a while).
    for (int section = 0; section < 400 && seen.size() < 2; ++section) {
        std::vector<int32_t> runs;
        const std::set<std::thread::id> threads = RunSection(team, 64, runs);
        seen.insert(threads.begin(), threads.end());
        for (int32_t r : runs) ASSERT_EQ(r, 1);
        // Asleep between sections, sent there at once (as after a frame) or after its polling;
        // the next section wakes it.
        if (section % 3 == 1) team.Rest();
        if (section % 5 == 4) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(team.Running(), 1);
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace qel
