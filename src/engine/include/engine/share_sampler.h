// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What programs really got, window by window: the launched program's share
// of the time it was runnable (its threads and its descendants' summed), or
// what the burners left of the processors they were asked to hold. Read
// from the run meter once a second on the window's thread: a thread above
// the burners, whose reading falls into their busy part and takes nothing
// from the free part it measures.
#include <sys/types.h>
#include <map>
#include <optional>
#include <vector>

#include "platform/run_meter.h"

namespace engine {

struct Readout {
    bool measured = false;     // a window long enough was measured
    bool ofProgram = false;    // the launched program's own share; else what the burners left
    bool fromCpuTime = false;  // no run-queue wait known: processor time against wall time
    double percent = 0;        // what programs got, percent of a processor
    double heldPercent = 0;    // what the burners held, percent of each processor
    double ownPercent = 0;     // Lentora's own time apart from the burners, percent of one processor
    double seconds = 0;        // the window's length
};

// The launched program's share over every window measured since the start.
struct ProgramTotals {
    double percent = 0;
    double seconds = 0;
    bool fromCpuTime = false;
};

class ShareSampler {
public:
    explicit ShareSampler(platform::RunMeter& meter) : meter_(meter) {}

    // The next reading opens a window afresh (the burners were suspended).
    void openWindow();
    // The same, and the totals start again.
    void restart();
    // A reading of program (0: none launched) and of the burner threads
    // burners (burners and backups), pinned to processors processors.
    // Returns the window since the previous reading; nothing measured on
    // the first or after less than half a second.
    Readout sample(pid_t program, const std::vector<pid_t>& burners, int processors);
    std::optional<ProgramTotals> programTotals() const;

private:
    struct Delta {
        double runNs = 0, runnableNs = 0;
    };
    std::optional<Delta> programDelta(pid_t program, int64_t wallNs);
    std::optional<double> burnerDeltaNs(const std::vector<pid_t>& burners);
    double leastIdlePercent(int64_t wallNs);

    platform::RunMeter& meter_;
    int64_t lastNs_ = -1;
    int64_t lastOwnNs_ = 0;
    bool waitKnown_ = true;
    std::map<pid_t, platform::ThreadRun> program_;
    std::map<pid_t, int64_t> burners_;
    std::vector<int64_t> idle_;
    Delta total_;
    double totalSeconds_ = 0;
};

}  // namespace engine
