// SPDX-License-Identifier: GPL-3.0-or-later
// The run meter against real busy processes: the program's descendants are
// found, and run time and run-queue wait are live (a busy thread is runnable
// the whole second, ran or waited).
#include <platform/process.h>
#include <platform/run_meter.h>

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <thread>

using namespace std::chrono_literals;

namespace {
std::map<pid_t, platform::ThreadRun> byThread(const platform::ProgramRun& run) {
    std::map<pid_t, platform::ThreadRun> threads;
    for (const auto& t : run.threads) threads[t.tid] = t;
    return threads;
}
}  // namespace

TEST(RunMeter, ReadsABusyProgramAndTheBusyProcessesItStarted) {
    // Two busy loops, each two processes below the shell; both end by themselves.
    const std::string busy = "timeout 4 sh -c 'while :; do :; done'";
    auto started = platform::processStarter().start({"/bin/sh", "-c", busy + " & " + busy + "; wait"}, "");
    ASSERT_TRUE(started);
    const pid_t pid = (*started)->pid();
    platform::RunMeter& meter = platform::runMeter();
    std::this_thread::sleep_for(300ms);
    const auto before = meter.program(pid);
    std::this_thread::sleep_for(1s);
    const auto after = meter.program(pid);
    ASSERT_TRUE(before && after);
    const auto first = byThread(*before);
    int busyThreads = 0;
    int64_t wantedNs = 0;
    for (const auto& [tid, t] : byThread(*after)) {
        if (!first.count(tid)) continue;
        const int64_t ran = t.runNs - first.at(tid).runNs;
        busyThreads += ran > 5'000'000;  // little on a loaded machine, but never nothing
        wantedNs += ran + (after->waitKnown ? t.waitNs - first.at(tid).waitNs : 0);
    }
    EXPECT_EQ(busyThreads, 2) << "both busy descendants are counted";
    if (after->waitKnown) {
        EXPECT_GT(wantedNs, 1'500'000'000) << "two busy threads want two seconds a second";
    }
    (*started)->waitForEnd();
    EXPECT_FALSE(meter.program(pid)) << "a program that is gone is not measured";
}

// Against the thread's own clock: spinning 20 ms of processor time (however
// long a loaded machine takes for it) shows as that much.
TEST(RunMeter, OwnThreadsProcessorTime) {
    platform::RunMeter& meter = platform::runMeter();
    const pid_t self = gettid();
    const auto ownClock = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    };
    const int64_t before = meter.ownThreadCpuNs(self), start = ownClock();
    while (ownClock() - start < 20'000'000) {}
    EXPECT_GE(meter.ownThreadCpuNs(self) - before, 20'000'000);
    EXPECT_EQ(meter.ownThreadCpuNs(0), -1);
}
