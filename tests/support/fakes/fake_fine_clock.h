// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted fine clock: monotonic time that moves on by a step
// after every reading; sleeping until a deadline records it and moves the
// time on to it. For one thread.
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/cpu_clock.h"

namespace platform {

class FakeFineClock : public FineClock {
public:
    FakeFineClock(int64_t startNs, int64_t stepNs) : now_(startNs), step_(stepNs) {}
    int64_t monotonicNs() override { return std::exchange(now_, now_ + step_); }
    void sleepUntilNs(int64_t deadlineNs) override {
        deadlines.push_back(deadlineNs);
        now_ = std::max(now_, deadlineNs);
    }
    std::vector<int64_t> deadlines;

private:
    int64_t now_;
    int64_t step_;
};

}  // namespace platform
