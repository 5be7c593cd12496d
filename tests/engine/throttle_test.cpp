// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time burners at the top of the range, over several of the kernel's
// real-time periods. The kernel withholds real time for the end of every
// second once real-time threads used their budget (sched_rt_runtime_us): a
// program of another session then ran at full speed for 50 ms a second, 3 to
// 5 times its share on average and a burst a game feels, until backup
// burners held the processors in that part too.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <iterator>
#include <sstream>
#include <thread>

#include "engine/burner.h"
#include "engine/scheduling.h"
#include "in_child.h"

using namespace engine;
using Clock = std::chrono::steady_clock;

namespace {

// A program of another session at nice 0 runs for `seconds` (3 or more);
// returns the median of its longest stretch on a processor in each of the
// first three seconds in ms, then its share of a processor in % over the
// whole time and per 100 ms slice. The median, because the burst the
// burners must not leave came every second, while on the shared machine one
// whole-suite run saw a single stretch of 5.5 ms. Processor time, not counts
// against a run alone: beside a busy process the run alone got half a
// processor, and the counts' share rose from 1.7-1.9 % to 1.0-3.2 % (10 runs)
// where processor time said 0.6-1.4 %.
std::vector<double> victimShares(double seconds) {
    const std::string text = inChild([seconds] {
        setsid();
        const sched_param normal{};
        sched_setscheduler(0, SCHED_OTHER, &normal);
        setpriority(PRIO_PROCESS, 0, 0);
        std::ostringstream out;
        const auto start = Clock::now();
        const std::clock_t cpuStart = std::clock();  // the child runs this one thread
        auto sliceEnd = start + std::chrono::milliseconds(100);
        std::clock_t sliceCpu = cpuStart;
        const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        std::vector<double> slices;
        auto last = start, stretchStart = start;
        std::array<Clock::duration, 3> longest{};
        for (auto now = start; now < end; last = now, now = Clock::now()) {
            // A gap between two readings: the program was off the processor.
            if (now - last > std::chrono::microseconds(30)) stretchStart = now;
            const auto second = static_cast<size_t>((now - start) / std::chrono::seconds(1));
            if (second < longest.size()) longest[second] = std::max(longest[second], now - stretchStart);
            for (uint64_t i = 0; i < 10000; ++i) asm volatile("" : "+r"(i));
            if (now >= sliceEnd) {
                const std::clock_t cpu = std::clock();
                slices.push_back(1000.0 * (cpu - sliceCpu) / CLOCKS_PER_SEC);  // % of 100 ms
                sliceCpu = cpu;
                sliceEnd += std::chrono::milliseconds(100);
            }
        }
        std::sort(longest.begin(), longest.end());
        out << std::chrono::duration<double, std::milli>(longest[1]).count() << ' '
            << 100.0 * (std::clock() - cpuStart) / CLOCKS_PER_SEC / seconds;
        for (double s : slices) out << ' ' << s;
        return out.str();
    });
    std::istringstream in(text);
    return {std::istream_iterator<double>(in), std::istream_iterator<double>()};
}

}  // namespace

TEST(BurnersAtTheTop, HoldEverySecondAgainstAnotherSession) {  // label: timed
    if (geteuid() != 0) GTEST_SKIP() << "real time for the burners needs root here";
    // Lentora's side in a child of its own too: it raises its process, its
    // thread and its session's group as start-up does.
    const std::string verdict = inChild([] {
        setsid();
        platform::SystemControl& system = platform::systemControl();
        std::atomic<int32_t> benchmark{500};
        TBurner burner(platform::systemClock(), benchmark, system.allowedProcessors());
        RightsLadder ladder(system.rightsSteps(kRealtimeRunTime));
        const SlowDownPolicy outcome =
            applyScheduling(system, ladder.climb(), burner, EngineMode::Accurate, platform::PriorityClass::High, 98);
        if (outcome.plan.burnerRealtime == 0) return std::string("skip: no real time here");
        burner.SetFactor(98);
        EXPECT_TRUE(burner.Resume());
        const std::vector<double> running = victimShares(3.2);  // three real-time periods and more
        EXPECT_TRUE(burner.Suspend());
        system.raiseSession(false, platform::PriorityClass::Realtime);
        if (running.size() < 4) return std::string("no figures");
        const double share = running[1];
        // The first and last slices hold the start and end of the run.
        const double peak = *std::max_element(running.begin() + 3, running.end() - 1);
        std::ostringstream out;
        out << "share " << share << " % (ideal 2), largest 100 ms slice " << peak << " %, a second's longest stretch "
            << running[0] << " ms";
        // Generous bounds: the precise figures are the benchmark's. Without
        // the backups the share was 10 % and slices reached 40 to 55 %. With
        // backups that held only what the kernel withheld, the program still
        // got a time slice of its own, 2 to 4 ms, once a second.
        //
        // In an instrumented build the burners' checks of the clock come
        // tens of microseconds apart, so each busy part runs over: the
        // real-time burners use up the kernel's budget before the second
        // ends and the program gets a stretch of 3 to 4 ms there (3 of 7
        // runs here, with the same share). The stretch is the optimised
        // build's figure; share and slices hold in both.
        const double stretchLimit = LENTORA_INSTRUMENTED ? 5.0 : 2.5;
        return (share < 5 && peak < 20 && running[0] < stretchLimit ? "ok: " : "too fast: ") + out.str();
    });
    if (verdict.rfind("skip", 0) == 0) GTEST_SKIP() << verdict;
    EXPECT_EQ(verdict.rfind("ok", 0), 0u) << verdict;
}
