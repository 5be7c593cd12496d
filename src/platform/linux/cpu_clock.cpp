// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cpu_clock.h"

#include <time.h>
#include <cerrno>

namespace platform {
namespace {
int64_t readNs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
}  // namespace

int64_t monotonicNs() { return readNs(CLOCK_MONOTONIC); }

void sleepUntilNs(int64_t deadlineNs) {
    timespec ts{static_cast<time_t>(deadlineNs / 1'000'000'000), static_cast<long>(deadlineNs % 1'000'000'000)};
    // An absolute deadline: restarting after a suspension's signal sleeps
    // only what is left, if anything.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

namespace {
class SystemFineClock : public FineClock {
public:
    int64_t monotonicNs() override { return platform::monotonicNs(); }
    void sleepUntilNs(int64_t deadlineNs) override { platform::sleepUntilNs(deadlineNs); }
};
}  // namespace

FineClock& systemFineClock() {
    static SystemFineClock clock;
    return clock;
}

}  // namespace platform
