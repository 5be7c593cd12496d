// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fine-grained time for the accurate slow-down: the monotonic clock and
// sleeping until a deadline.
#include <cstdint>

namespace platform {

// Monotonic time in nanoseconds.
int64_t monotonicNs();
// Sleeps until the monotonic clock reaches deadlineNs. A deadline that passed
// (for instance while the thread was suspended) returns at once.
void sleepUntilNs(int64_t deadlineNs);

// The same clocks as an interface, so that the accurate burner's beat can be
// driven by a scripted clock in tests.
class FineClock {
public:
    virtual ~FineClock() = default;
    virtual int64_t monotonicNs() = 0;
    virtual void sleepUntilNs(int64_t deadlineNs) = 0;
};

// The machine's: the functions above.
FineClock& systemFineClock();

}  // namespace platform
