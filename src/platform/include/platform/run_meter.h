// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the scheduler really gave: the threads of a launched program and of
// everything it started, and this process's own threads (the burners). Read
// once a second to show what programs get and to trim the burners from it.
#include <sys/types.h>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// One thread's totals since it started.
struct ThreadRun {
    pid_t tid = 0;
    int64_t runNs = 0;   // on a processor
    int64_t waitNs = 0;  // runnable, waiting for a processor (0 where the kernel keeps none)
};

struct ProgramRun {
    std::vector<ThreadRun> threads;  // the program's and its descendants'
    // False where the kernel keeps no run-queue wait per thread: only the
    // processor time is known, to be set against wall time.
    bool waitKnown = true;
};

class RunMeter {
public:
    virtual ~RunMeter() = default;
    // Every thread of the program pid and of the processes it started, and
    // theirs; nothing once pid is gone. One caller at a time.
    virtual std::optional<ProgramRun> program(pid_t pid) = 0;
    // Processor time of one thread of this process so far; -1 when it cannot be read.
    virtual int64_t ownThreadCpuNs(pid_t tid) = 0;
    // Processor time of this whole process so far (its threads, not its children).
    virtual int64_t ownProcessCpuNs() = 0;
    // Each processor's idle time so far, by processor number; empty where
    // the kernel counts it only in ticks (10 ms: the whole free part at 98).
    virtual std::vector<int64_t> processorIdleNs() = 0;
    virtual int64_t monotonicNs() = 0;
};

// The machine's: /proc and the kernel's thread clocks.
RunMeter& runMeter();

}  // namespace platform
