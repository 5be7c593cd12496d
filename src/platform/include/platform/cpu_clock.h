#pragma once
// Fine-grained time for the accurate slow-down: the calling thread's own
// processor time, the monotonic clock, and sleeping until a deadline.
#include <cstdint>

namespace platform {

// Processor time used by the calling thread, in nanoseconds.
int64_t threadCpuTimeNs();
// Monotonic time in nanoseconds.
int64_t monotonicNs();
// Sleeps until the monotonic clock reaches deadlineNs. A deadline that passed
// (for instance while the thread was suspended) returns at once.
void sleepUntilNs(int64_t deadlineNs);

}  // namespace platform
