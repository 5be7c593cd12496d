#pragma once
// A system whose Lentora group has a standing to ask; the standing records
// the calls in order ("prepare raise lower ") and whether the weight is raised.
#include <mutex>
#include <string>

#include "fake_system.h"
#include "platform/group_standing.h"

namespace platform {

class FakeGroupStanding final : public GroupStanding {
public:
    void prepare() override { record("prepare ", false); }
    void raise() override { record("raise ", true); }
    void lower() override { record("lower ", false); }
    GroupFacts facts() const override {
        std::lock_guard lock(mutex_);
        return facts_;
    }
    std::string calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(const char* call, bool raised) {
        std::lock_guard lock(mutex_);
        calls_ += call;
        facts_.weightRaised = raised;
    }
    mutable std::mutex mutex_;  // the watcher's thread raises and lowers too
    GroupFacts facts_;
    std::string calls_;
};

struct FakeGroupedSystem : FakeSystemControl {
    GroupStanding* groupStanding() override { return &standing; }
    FakeGroupStanding standing;
};

}  // namespace platform
