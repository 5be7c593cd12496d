#pragma once
// A scripted standing of Lentora's control group for tests: it records the
// calls in order ("prepare", "raise", "lower") and answers the facts it was given.
#include <mutex>
#include <string>
#include <vector>

#include "fake_system.h"
#include "platform/group_standing.h"

namespace platform {

class FakeGroupStanding final : public GroupStanding {
public:
    void prepare() override { record("prepare"); }
    void raise() override {
        record("raise");
        std::lock_guard lock(mutex_);
        facts_.weightRaised = facts_.weightObtained;
    }
    void lower() override {
        record("lower");
        std::lock_guard lock(mutex_);
        facts_.weightRaised = false;
    }
    GroupFacts facts() const override {
        std::lock_guard lock(mutex_);
        return facts_;
    }

    void setFacts(GroupFacts facts) {
        std::lock_guard lock(mutex_);
        facts_ = std::move(facts);
    }
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(const char* call) {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(call);
    }
    mutable std::mutex mutex_;
    GroupFacts facts_;
    std::vector<std::string> calls_;
};

// A system whose Lentora group has a standing to ask.
class FakeGroupedSystem : public FakeSystemControl {
public:
    GroupStanding* groupStanding() override { return &standing; }
    FakeGroupStanding standing;
};

}  // namespace platform
