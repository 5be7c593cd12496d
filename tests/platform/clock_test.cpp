// SPDX-License-Identifier: GPL-3.0-or-later
// The machine's clocks and the scripted clock that other tests drive.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using platform::TimeOfDay;

int msOfDay(const TimeOfDay& t) { return ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond; }

bool inRange(const TimeOfDay& t) {
    return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 61 &&
           t.millisecond >= 0 && t.millisecond < 1000;
}

// Sets TZ for one test and restores it.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

TEST(SystemClock, SleepLastsAtLeastTheTimeAsked) {
    for (uint32_t ms : {0u, 1u, 30u}) {
        const auto start = Steady::now();
        platform::sleepMs(ms);
        EXPECT_GE(Steady::now() - start, std::chrono::milliseconds(ms));
    }
    const auto start = Steady::now();
    platform::systemClock().sleep(20);
    EXPECT_GE(Steady::now() - start, 20ms);
}

TEST(SystemClock, TickCountAdvancesInMilliseconds) {
    auto& clock = platform::systemClock();
    const uint32_t first = clock.tickCount();
    uint32_t last = first;
    for (int i = 0; i < 1000; ++i) {
        const uint32_t now = clock.tickCount();
        EXPECT_LE(static_cast<uint32_t>(now - first), static_cast<uint32_t>(2000));
        EXPECT_GE(now - first, last - first);  // never goes back (modulo 2^32)
        last = now;
    }
    platform::sleepMs(100);
    const uint32_t elapsed = clock.tickCount() - first;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 2000u);
}

TEST(SystemClock, PerformanceCounterCountsNanoseconds) {
    auto& clock = platform::systemClock();
    ASSERT_EQ(clock.performanceFrequency(), 1'000'000'000);
    const int64_t first = clock.performanceCounter();
    int64_t last = first;
    for (int i = 0; i < 1000; ++i) {
        const int64_t now = clock.performanceCounter();
        EXPECT_GE(now, last);
        last = now;
    }
    platform::sleepMs(100);
    const int64_t elapsed = clock.performanceCounter() - first;
    EXPECT_GE(elapsed, 100'000'000);
    EXPECT_LT(elapsed, 2'000'000'000);
}

TEST(SystemClock, SystemTimeIsUtcTimeOfDay) {
    const TimeOfDay t = platform::systemClock().systemTime();
    ASSERT_TRUE(inRange(t));
    const int64_t utcMs = (static_cast<int64_t>(std::time(nullptr)) % 86400) * 1000;
    const int64_t diff = (msOfDay(t) - utcMs + 86'400'000) % 86'400'000;
    EXPECT_TRUE(diff < 2000 || diff > 86'400'000 - 2000) << diff;
}

TEST(SystemClock, LocalTimeFollowsTheTimeZone) {
    TimeZone zone("UTC-3");  // POSIX sign: three hours east of UTC
    auto& clock = platform::systemClock();
    const TimeOfDay utc = clock.systemTime();
    const TimeOfDay local = clock.localTime();
    ASSERT_TRUE(inRange(local));
    const int diff = ((msOfDay(local) - msOfDay(utc)) % 86'400'000 + 86'400'000) % 86'400'000;
    EXPECT_NEAR(diff, 3 * 3600 * 1000, 1000);
}

TEST(SystemClock, TimeOfDayHasMillisecondResolution) {
    // Read until five milliseconds were seen: a busy machine may take this
    // test off the processor for longer than the 30 ms that suffice when idle.
    std::set<int> milliseconds;
    const auto end = Steady::now() + 10s;
    while (Steady::now() < end && milliseconds.size() < 5)
        milliseconds.insert(platform::systemClock().localTime().millisecond);
    EXPECT_GE(milliseconds.size(), 5u);
}

}  // namespace

// The burner reseeds from systemTime() in every cycle and may be suspended
// anywhere in it; the window's thread must still be able to read the local
// time (a lock held by the stopped burner would block it until a resume
// that only the window's thread can give).
class Reseeder : public platform::SuspendableThread {
public:
    ~Reseeder() override { terminateAndWait(); }

protected:
    void Execute() override {
        while (!Terminated()) platform::systemClock().systemTime();
    }
};

TEST(SystemClock, LocalTimeNeverWaitsForAStoppedReseed) {
    Reseeder burner;
    EXPECT_TRUE(burner.resume());
    for (int i = 0; i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(50 + i % 7 * 30));
        EXPECT_TRUE(burner.suspend());
        auto local = std::async(std::launch::async, [] { return platform::systemClock().localTime(); });
        const bool answered = local.wait_for(2s) == std::future_status::ready;
        EXPECT_TRUE(burner.resume());  // frees whatever it held, so a blocked reading ends too
        local.wait();
        ASSERT_TRUE(answered) << "localTime() blocked while the reseeding thread was stopped (round " << i << ")";
    }
}
