// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_realtime_kit.h"

namespace platform {

void FakeRealtimeKit::setLimits(std::optional<RealtimeKitLimits> limits) {
    std::lock_guard lock(mutex_);
    limits_ = limits;
}

void FakeRealtimeKit::setGrants(bool realtime, bool highPriority) {
    std::lock_guard lock(mutex_);
    realtime_ = realtime;
    highPriority_ = highPriority;
}

std::vector<std::string> FakeRealtimeKit::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

Result<RealtimeKitLimits> FakeRealtimeKit::limits() {
    std::lock_guard lock(mutex_);
    if (!limits_) return Failure{"no service"};
    return *limits_;
}

// Like the service: nothing without it, nothing beyond its limits.
bool FakeRealtimeKit::makeThreadRealtime(pid_t tid, int priority) {
    std::lock_guard lock(mutex_);
    requests_.push_back("realtime(" + std::to_string(tid) + "," + std::to_string(priority) + ")");
    return limits_ && realtime_ && priority >= 1 && priority <= limits_->maxRealtimePriority;
}

bool FakeRealtimeKit::makeThreadHighPriority(pid_t tid, int nice) {
    std::lock_guard lock(mutex_);
    requests_.push_back("high(" + std::to_string(tid) + "," + std::to_string(nice) + ")");
    return limits_ && highPriority_ && nice >= limits_->minNiceLevel;
}

}  // namespace platform
