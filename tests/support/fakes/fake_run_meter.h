// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted run meter: every reading of the clock moves it on a second; the
// program ran `programShare` of each second it was runnable, and the burners
// held `heldShare` of it (all on the first thread asked for, as a burner with
// its backup idle, in every reading), Lentora's own threads nothing more.

#include "platform/run_meter.h"

namespace platform {

class FakeRunMeter : public RunMeter {
public:
    double programShare = 0.02, heldShare = 0.98;
    std::vector<double> idleShares;  // per processor; none: not counted

    std::optional<ProgramRun> program(pid_t pid) override {
        if (pid <= 0) return std::nullopt;
        const auto run = static_cast<int64_t>(programShare * static_cast<double>(now_));
        return ProgramRun{.threads = {{pid, run, now_ - run}}};
    }
    int64_t ownThreadCpuNs(pid_t tid) override {
        if (tid <= 0) return -1;
        first_ = first_ ? first_ : tid;
        return tid == first_ ? static_cast<int64_t>(heldShare * static_cast<double>(now_)) : 0;
    }
    int64_t ownProcessCpuNs() override { return static_cast<int64_t>(heldShare * static_cast<double>(now_)); }
    std::vector<int64_t> processorIdleNs() override {
        std::vector<int64_t> idle;
        for (double share : idleShares) idle.push_back(static_cast<int64_t>(share * static_cast<double>(now_)));
        return idle;
    }
    int64_t monotonicNs() override {
        first_ = 0;  // a reading begins with the clock
        return now_ += 1'000'000'000;
    }

private:
    int64_t now_ = 0;
    pid_t first_ = 0;
};

}  // namespace platform
