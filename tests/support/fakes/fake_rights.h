// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted step of the rights ladder for tests: it grants what it was told
// and records the threads it was asked to make real-time.
#include <utility>
#include <vector>

#include "platform/rights.h"

namespace platform {

class FakeRightsStep final : public RightsStep {
public:
    FakeRightsStep(std::string name, Grant realtime, Grant nice = {})
        : name_(std::move(name)), realtime_(realtime), nice_(nice) {}

    std::string name() const override { return name_; }
    Grant realtime() override {
        ++probes;
        return realtime_;
    }
    Grant nice() override { return nice_; }
    bool makeRealtime(pid_t tid, int priority) override {
        raised.emplace_back(tid, priority);
        return realtime_.kind == GrantKind::RealTime;
    }

    int probes = 0;
    std::vector<std::pair<pid_t, int>> raised;

private:
    std::string name_;
    Grant realtime_;
    Grant nice_;
};

}  // namespace platform
