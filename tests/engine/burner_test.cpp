// The burners on the real machine: resuming them uses the processors,
// suspending them stops that at once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cputime.h"
#include "engine/burner.h"

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
    burner.Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    burner.Suspend();
    const long used = totalCpuMs(burner);
    // Generous: other programs share the machine.
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
    burner.Resume();
    burner.Suspend();
    burner.Suspend();
    burner.Resume();
    EXPECT_EQ(burner.SuspendCount(), 1);
    EXPECT_TRUE(burner.thread(0).isStopped());
    burner.Resume();
    EXPECT_EQ(burner.SuspendCount(), 0);
    burner.Suspend();
}
