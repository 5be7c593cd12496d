// SPDX-License-Identifier: GPL-3.0-or-later
// A light background load, as a desktop's compositor or sound server makes:
// it wakes every PERIOD microseconds and stays busy for BUSY microseconds
// (default every 4 ms for 200 µs, 5 % of a processor), until killed.
//
//   desktop_load [PERIOD_US] [BUSY_US]
#include <time.h>

#include <cstdlib>

namespace {

long long nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void sleepUntil(long long ns) {
    const timespec at{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {}
}

}  // namespace

int main(int argc, char** argv) {
    const long long period = (argc > 1 ? std::atoll(argv[1]) : 4000) * 1000LL;
    const long long busy = (argc > 2 ? std::atoll(argv[2]) : 200) * 1000LL;
    if (period <= 0 || busy < 0 || busy >= period) return 2;
    // Fixed deadlines: a late wake-up (the burners held the processor) does
    // not shift the later ones, as a compositor's frames keep their beat.
    for (long long next = nowNs();; next += period) {
        sleepUntil(next);
        // Busy for `busy` of processor work, not of wall time: a busy part
        // that the burners interrupt still gets done, as a frame has to be.
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        const long long until = cpu.tv_sec * 1000000000LL + cpu.tv_nsec + busy;
        do clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        while (cpu.tv_sec * 1000000000LL + cpu.tv_nsec < until);
        // Behind by more than a period (held off for long): skip the missed
        // beats rather than run them back to back.
        if (nowNs() > next + period) next = nowNs();
    }
}
