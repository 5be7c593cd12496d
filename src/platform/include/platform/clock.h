// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time sources and sleeping. The program asks for time of day (local and
// UTC), a millisecond tick count that wraps like a 32-bit counter, and a
// high-resolution counter; tests substitute a scripted clock.
#include <cstdint>

namespace platform {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Time of day to the millisecond.
    virtual TimeOfDay localTime() = 0;
    virtual TimeOfDay systemTime() = 0;  // UTC
    // Milliseconds since an arbitrary start, modulo 2^32.
    virtual uint32_t tickCount() = 0;
    // Counts per second of the high-resolution counter; 0 when there is none.
    virtual int64_t performanceFrequency() = 0;
    virtual int64_t performanceCounter() = 0;
    // Sleeps at least ms milliseconds, also when interrupted by a suspension.
    virtual void sleep(uint32_t ms) = 0;
};

// The machine's clocks: frequency 1,000,000,000 with a nanosecond counter
// that is not slewed by time adjustments.
Clock& systemClock();

// Sleeps at least ms milliseconds (restarts with the remaining time after an
// interruption, so the time a thread spends suspended does not count).
void sleepMs(uint32_t ms);

}  // namespace platform
