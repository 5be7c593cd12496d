// SPDX-License-Identifier: GPL-3.0-or-later
// The burners on the real machine: resuming them uses the processors,
// suspending them stops that at once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cpu_time.h"
#include "engine/burner.h"
#include "wait_for.h"

using namespace engine;

namespace {
long totalCpuMs(TBurner& burner) {
    long total = 0;
    for (size_t i = 0; i < burner.size(); ++i) total += threadCpuMs(burner.thread(i).threadId());
    return total;
}
}  // namespace

TEST(Burner, ResumeBurnsEveryProcessorAndSuspendStops) {
    std::atomic<int32_t> benchmark{500};  // short cycles, so the test ends promptly
    TBurner burner(platform::systemClock(), benchmark, platform::systemControl().allowedProcessors());
    ASSERT_GE(burner.size(), 1u);
    burner.SetFactor(90);
    EXPECT_TRUE(burner.Resume());
    // Until they used 60 ms, however busy the machine is (a fixed wait of
    // 400 ms saw 10 ms used while the machine was full of compilers).
    waitFor([&] { return totalCpuMs(burner) > 60; }, std::chrono::seconds(20), std::chrono::milliseconds(50));
    EXPECT_TRUE(burner.Suspend());
    const long used = totalCpuMs(burner);
    EXPECT_GT(used, 60L);

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(totalCpuMs(burner) - used, 20);
    for (size_t i = 0; i < burner.size(); ++i) EXPECT_TRUE(burner.thread(i).isStopped());
    burner.SetFactor(0);  // the destructor lets the threads finish their cycle
}

TEST(Burner, FactorAndPriorityReachEveryThread) {
    std::atomic<int32_t> benchmark{50};
    TBurner burner(platform::systemClock(), benchmark, {0, 0});
    burner.SetFactor(97);
    burner.SetPriority(burnerPriorityFor(97));
    for (size_t i = 0; i < burner.size(); ++i) {
        EXPECT_EQ(burner.thread(i).factor.load(), 97);
        EXPECT_EQ(burner.thread(i).priority(), platform::ThreadPriority::TimeCritical);
    }
    EXPECT_EQ(burnerPriorityFor(96), platform::ThreadPriority::AboveNormal);
    burner.SetFactor(0);
}

TEST(Burner, SuspendsNestAcrossTheGroup) {
    std::atomic<int32_t> benchmark{50};
    TBurner burner(platform::systemClock(), benchmark, {0});
    EXPECT_TRUE(burner.Resume());
    EXPECT_TRUE(burner.Suspend());
    EXPECT_TRUE(burner.Suspend());
    EXPECT_TRUE(burner.Resume());
    EXPECT_EQ(burner.suspendCount(), 1);
    // A thread suspended while it was starting stops itself once it runs.
    EXPECT_TRUE(waitFor([&] { return burner.thread(0).isStopped(); }));
    EXPECT_TRUE(burner.Resume());
    EXPECT_EQ(burner.suspendCount(), 0);
    EXPECT_TRUE(burner.Suspend());
}

// The backups hold the processors where the kernel withholds real time; they
// run with the burners only while real time is asked for, and a switch while
// the burners run takes them along at once.
TEST(Burner, BackupsRunWithTheBurnersOnlyUnderRealTime) {
    std::atomic<int32_t> benchmark{50};
    TBurner burner(platform::systemClock(), benchmark, {0});
    burner.SetFactor(50);
    EXPECT_FALSE(burner.backupsActive()) << "no backup without real time";
    burner.SetRealtime(5);  // asked before the threads run: applied when they start
    EXPECT_TRUE(burner.backupsActive());
    EXPECT_TRUE(burner.Resume());
    EXPECT_EQ(burner.backup(0).suspendCount(), 0) << "resumed with the burners";
    EXPECT_EQ(burner.backup(0).factor.load(), 50);
    burner.SetRealtime(0);  // switched while they run
    EXPECT_FALSE(burner.backupsActive());
    EXPECT_EQ(burner.backup(0).suspendCount(), 1) << "left the running burners";
    EXPECT_TRUE(burner.Suspend());
    EXPECT_TRUE(burner.Resume());
    EXPECT_EQ(burner.backup(0).suspendCount(), 1) << "stays out while there is no real time";
    EXPECT_TRUE(burner.Suspend());
    burner.SetFactor(0);
}
