// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A system whose Lentora group has a standing to ask; the standing records
// the calls in order ("prepare raise lower ") and whether the weight is raised.
#include <string>

#include "fake_system.h"
#include "platform/group_standing.h"

namespace platform {

class FakeGroupStanding final : public GroupStanding {
public:
    void prepare() override { calls += "prepare "; }
    void raise(unsigned long long) override { calls += "raise ", raised_ = true; }
    void lower() override { calls += "lower ", raised_ = false; }
    GroupFacts facts() const override {
        GroupFacts facts;
        facts.weightRaised = raised_;
        return facts;
    }
    std::string calls;  // one thread only

private:
    bool raised_ = false;
};

struct FakeGroupedSystem : FakeSystemControl {
    GroupStanding* groupStanding() override { return &standing; }
    FakeGroupStanding standing;
};

}  // namespace platform
