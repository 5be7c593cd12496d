// SPDX-License-Identifier: GPL-3.0-or-later
// The suspendable thread, on real threads: suspension must stop processor
// use at once, nest, survive sleeps and leave a running thread alone.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "platform/rights.h"
#include "platform/thread.h"
#include "wait_for.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using platform::SuspendableThread;
using platform::ThreadPriority;

// Counts as fast as it can until terminated (at most 3 s, so a failing test
// can't leave it burning).
class BusyThread : public SuspendableThread {
public:
    ~BusyThread() override { terminateAndWait(); }

    std::atomic<uint64_t> passes{0};
    std::atomic<bool> clockReady{false};
    clockid_t cpuClock{};

    bool runs() const {
        return waitFor([this] { return passes.load() > 0; });
    }

    // Processor time the thread used so far.
    std::chrono::nanoseconds cpuTime() const {
        timespec ts{};
        clock_gettime(cpuClock, &ts);
        return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
    }

    // True when the count stands still for the given time.
    bool standsStill(std::chrono::milliseconds time) const {
        const uint64_t before = passes.load();
        std::this_thread::sleep_for(time);
        return passes.load() == before;
    }

protected:
    void Execute() override {
        pthread_getcpuclockid(pthread_self(), &cpuClock);
        clockReady.store(true);
        const auto end = Steady::now() + 3s;
        while (!Terminated()) {
            passes.fetch_add(1, std::memory_order_relaxed);
            if ((passes.load(std::memory_order_relaxed) & 0xffff) == 0 && Steady::now() > end) break;
        }
    }
};

// Runs a function once, recording its thread id.
class OnceThread : public SuspendableThread {
public:
    explicit OnceThread(std::function<void(OnceThread&)> body) : body_(std::move(body)) {}
    ~OnceThread() override { terminateAndWait(); }
    std::atomic<bool> ran{false};
    std::atomic<pid_t> ownId{0};

protected:
    void Execute() override {
        ownId.store(gettid());
        ran.store(true);
        body_(*this);
    }

private:
    std::function<void(OnceThread&)> body_;
};

TEST(SuspendableThread, CreatedSuspendedDoesNotRunUntilResumed) {
    OnceThread thread([](OnceThread&) {});
    EXPECT_TRUE(thread.suspend());  // an extra suspend before the start needs an extra resume
    EXPECT_TRUE(thread.resume());
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(thread.ran.load());
    EXPECT_EQ(thread.suspendCount(), 1);
    EXPECT_TRUE(thread.isStopped());
    EXPECT_EQ(thread.threadId(), 0);

    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return thread.finished(); }));
    EXPECT_TRUE(thread.ran.load());
    EXPECT_EQ(thread.threadId(), thread.ownId.load());
    EXPECT_NE(thread.threadId(), gettid());
}

TEST(SuspendableThread, SuspendedBusyThreadUsesNoProcessor) {  // label: timed
    BusyThread thread;
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(thread.runs());
    ASSERT_TRUE(thread.clockReady.load());

    EXPECT_TRUE(thread.suspend());
    const auto before = thread.cpuTime();
    std::this_thread::sleep_for(300ms);
    const auto gained = thread.cpuTime() - before;
    EXPECT_LT(gained, 20ms);

    EXPECT_TRUE(thread.resume());
    const uint64_t atResume = thread.passes.load();
    EXPECT_TRUE(waitFor([&] { return thread.passes.load() > atResume; }));
}

TEST(SuspendableThread, SuspendStopsTheThreadBeforeItReturns) {  // label: timed
    BusyThread thread;
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(thread.runs());
    for (int round = 0; round < 5; ++round) {
        const auto start = Steady::now();
        EXPECT_TRUE(thread.suspend());
        const auto took = Steady::now() - start;
        EXPECT_LT(took, 100ms);
        EXPECT_TRUE(thread.isStopped());
        EXPECT_TRUE(thread.standsStill(30ms)) << "round " << round;
        EXPECT_TRUE(thread.resume());
        EXPECT_TRUE(waitFor([&] { return !thread.isStopped(); }));
    }
}

TEST(SuspendableThread, SuspendsNest) {  // label: timed
    BusyThread thread;
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(thread.runs());
    EXPECT_TRUE(thread.suspend());
    EXPECT_TRUE(thread.suspend());
    EXPECT_EQ(thread.suspendCount(), 2);

    EXPECT_TRUE(thread.resume());
    EXPECT_EQ(thread.suspendCount(), 1);
    EXPECT_TRUE(thread.standsStill(100ms));

    EXPECT_TRUE(thread.resume());
    const uint64_t atResume = thread.passes.load();
    EXPECT_TRUE(waitFor([&] { return thread.passes.load() > atResume; }));
}

TEST(SuspendableThread, ResumingARunningThreadDoesNothing) {
    BusyThread thread;
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(thread.runs());
    EXPECT_TRUE(thread.resume());
    EXPECT_TRUE(thread.resume());
    EXPECT_EQ(thread.suspendCount(), 0);

    // One suspend is enough: the extra resumes were not saved up.
    EXPECT_TRUE(thread.suspend());
    EXPECT_TRUE(thread.standsStill(50ms));
    EXPECT_TRUE(thread.resume());
}

TEST(SuspendableThread, SuspensionDuringASleepDoesNotShortenIt) {  // label: timed
    using std::chrono::microseconds;
    std::atomic<int64_t> sleptUs{-1};
    std::atomic<int64_t> wokeAt{0};
    OnceThread thread([&](OnceThread&) {
        const auto start = Steady::now();
        platform::sleepMs(200);
        const auto end = Steady::now();
        sleptUs.store(std::chrono::duration_cast<microseconds>(end - start).count());
        wokeAt.store(end.time_since_epoch().count());
    });
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return thread.ran.load(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(thread.suspend());
    const auto suspendedAt = Steady::now();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sleptUs.load(), -1) << "the sleep ended while the thread was suspended";
    const auto resumedAt = Steady::now();
    EXPECT_TRUE(thread.resume());

    ASSERT_TRUE(waitFor([&] { return thread.finished(); }));
    EXPECT_GE(wokeAt.load(), resumedAt.time_since_epoch().count());
    // The suspended time does not count towards the sleep: the thread slept
    // the rest of its 200 ms after the resume.
    const int64_t suspendedUs = std::chrono::duration_cast<microseconds>(resumedAt - suspendedAt).count();
    EXPECT_GE(sleptUs.load() - suspendedUs, 200'000);
}

TEST(SuspendableThread, ThreadCanSuspendItself) {
    std::atomic<int> step{0};
    OnceThread thread([&](OnceThread& self) {
        step.store(1);
        EXPECT_TRUE(self.suspend());
        step.store(2);
    });
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return step.load() == 1 && thread.isStopped(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(step.load(), 1);
    EXPECT_EQ(thread.suspendCount(), 1);

    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return thread.finished(); }));
    EXPECT_EQ(step.load(), 2);
}

TEST(SuspendableThread, QuickResumeSuspendPairsLeaveItStopped) {  // label: timed
    BusyThread thread;
    for (int round = 0; round < 200; ++round) {
        EXPECT_TRUE(thread.resume());
        EXPECT_TRUE(thread.suspend());
    }
    EXPECT_EQ(thread.suspendCount(), 1);
    EXPECT_TRUE(thread.isStopped());
    EXPECT_TRUE(thread.standsStill(50ms));
}

TEST(SuspendableThread, TerminateAndWaitEndsASuspendedThread) {
    BusyThread thread;
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(thread.runs());
    EXPECT_TRUE(thread.suspend());
    EXPECT_TRUE(thread.suspend());
    thread.terminateAndWait();
    EXPECT_TRUE(thread.finished());
    EXPECT_TRUE(thread.terminated());
    EXPECT_EQ(thread.suspendCount(), 0);
}

TEST(SuspendableThread, DestroyingAnUnstartedThreadNeverRunsIt) {
    std::atomic<bool> ran{false};
    {
        OnceThread thread([&](OnceThread&) { ran.store(true); });
    }
    EXPECT_FALSE(ran.load());
}

TEST(SuspendableThread, AnEscapingExceptionEndsOnlyTheThread) {
    OnceThread thread([](OnceThread&) { throw std::runtime_error("burnt"); });
    EXPECT_TRUE(thread.resume());
    EXPECT_TRUE(waitFor([&] { return thread.finished(); }));
}

int ownNice() {
    errno = 0;
    return getpriority(PRIO_PROCESS, 0);
}

TEST(SuspendableThread, PriorityIsAppliedAtStartAndWhileRunning) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to raise priorities";
    const int processNice = getpriority(PRIO_PROCESS, getpid());
    std::atomic<int> niceAtStart{100};
    std::atomic<bool> release{false};
    OnceThread thread([&](OnceThread&) {
        niceAtStart.store(ownNice());
        while (!release.load()) platform::sleepMs(1);
    });
    EXPECT_TRUE(thread.setPriority(ThreadPriority::TimeCritical));
    EXPECT_EQ(thread.priority(), ThreadPriority::TimeCritical);
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return niceAtStart.load() != 100; }));
    EXPECT_EQ(niceAtStart.load(), -20);

    EXPECT_TRUE(thread.setPriority(ThreadPriority::AboveNormal));
    EXPECT_EQ(getpriority(PRIO_PROCESS, thread.threadId()), processNice - 1);
    EXPECT_TRUE(thread.setPriority(ThreadPriority::Normal));
    EXPECT_EQ(getpriority(PRIO_PROCESS, thread.threadId()), processNice);
    release.store(true);
}

TEST(SuspendableThread, NormalThreadDoesNotInheritItsCreatorsLevel) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to raise the creating thread";
    const int processNice = getpriority(PRIO_PROCESS, getpid());
    std::atomic<int> nice{100};
    OnceThread thread([&](OnceThread&) { nice.store(ownNice()); });
    // The creator runs raised, as the window's thread does.
    std::thread creator([&] {
        setpriority(PRIO_PROCESS, 0, -15);
        EXPECT_TRUE(thread.resume());
    });
    creator.join();
    ASSERT_TRUE(waitFor([&] { return thread.finished(); }));
    EXPECT_EQ(nice.load(), processNice);
}

TEST(SuspendableThread, SetProcessorPinsTheThread) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    int last = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) last = cpu;
    ASSERT_GE(last, 0);

    std::atomic<int> seenOn{-1};
    OnceThread thread([&](OnceThread&) {
        cpu_set_t mine;
        sched_getaffinity(0, sizeof mine, &mine);
        seenOn.store(CPU_COUNT(&mine) == 1 && CPU_ISSET(last, &mine) ? sched_getcpu() : -2);
    });
    thread.setProcessor(last);
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return thread.finished(); }));
    EXPECT_EQ(seenOn.load(), last);
}

}  // namespace

// Asking for real time again may take locks (a D-Bus call allocates and locks
// its connection): a suspension that arrives meanwhile waits for the answer,
// so the thread never stops holding one.
TEST(SuspendableThreadRealtime, ASuspensionWaitsUntilTheAskForRealTimeIsAnswered) {
    struct SlowStep : platform::RightsStep {
        std::atomic<bool> asking{false}, answered{false};
        int calls = 0;
        std::string name() const override { return "slow"; }
        platform::Grant realtime() override { return {}; }
        bool makeRealtime(pid_t tid, int) override {
            if (tid != 0 || ++calls == 1) return false;  // the start's own request
            asking = true;
            std::this_thread::sleep_for(300ms);
            answered = true;
            return false;
        }
    } step;
    struct Asker : SuspendableThread {
        ~Asker() override { terminateAndWait(); }
        void Execute() override {
            while (!Terminated()) {
                keepRealtime();
                std::this_thread::sleep_for(1ms);
            }
        }
    } thread;
    thread.useRealtimeStep(&step);
    thread.setRealtime(5);
    EXPECT_TRUE(thread.resume());
    ASSERT_TRUE(waitFor([&] { return step.asking.load(); }));
    EXPECT_TRUE(thread.suspend());
    EXPECT_TRUE(waitFor([&] { return thread.isStopped(); }));
    EXPECT_TRUE(step.answered.load()) << "the thread stopped in the middle of asking";
    thread.terminateAndWait();
}
