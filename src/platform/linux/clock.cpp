// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

timespec now(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return ts;
}

TimeOfDay timeOfDay(const tm& broken, long nanoseconds) {
    return {broken.tm_hour, broken.tm_min, broken.tm_sec, static_cast<int>(nanoseconds / 1'000'000)};
}

// UTC has no leap seconds in the clock's count: every day is 86400 seconds.
TimeOfDay utcTimeOfDay(const timespec& ts) {
    constexpr int64_t kDay = 86400;
    const int64_t secondOfDay = ((static_cast<int64_t>(ts.tv_sec) % kDay) + kDay) % kDay;
    return {static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
            static_cast<int>(secondOfDay % 60), static_cast<int>(ts.tv_nsec / 1'000'000)};
}

class SystemClock final : public Clock {
public:
    TimeOfDay localTime() override {
        const timespec ts = now(CLOCK_REALTIME);
        tm broken{};
        localtime_r(&ts.tv_sec, &broken);
        return timeOfDay(broken, ts.tv_nsec);
    }

    // Plain arithmetic, no C-library call: the burner reseeds from this in
    // every cycle and may be suspended anywhere in it, so it must not hold a
    // lock (gmtime_r takes the time-zone lock that localtime_r waits for).
    TimeOfDay systemTime() override { return utcTimeOfDay(now(CLOCK_REALTIME)); }

    uint32_t tickCount() override {
        const timespec ts = now(CLOCK_MONOTONIC);
        const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1'000'000u;
        return static_cast<uint32_t>(ms);  // wraps as a 32-bit counter does
    }

    int64_t performanceFrequency() override { return 1'000'000'000; }

    int64_t performanceCounter() override {
        // The raw clock is not slewed by NTP, so it counts the hardware's time.
        const timespec ts = now(CLOCK_MONOTONIC_RAW);
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }

    void sleep(uint32_t ms) override { sleepMs(ms); }
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

void sleepMs(uint32_t ms) {
    timespec request{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
    timespec remaining{};
    // A suspension interrupts the sleep; it goes on with the time that was
    // left when the signal came, so the suspended time does not count.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &request, &remaining) == EINTR) request = remaining;
}

}  // namespace platform
