// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_system.h"

#include <utility>

namespace platform {
namespace {

const char* className(PriorityClass cls) { return cls == PriorityClass::High ? "High" : "Realtime"; }

const char* levelName(ThreadPriority level) {
    switch (level) {
    case ThreadPriority::Normal:
        return "Normal";
    case ThreadPriority::AboveNormal:
        return "AboveNormal";
    case ThreadPriority::TimeCritical:
        return "TimeCritical";
    }
    return "?";
}

// One grant of the rights set, as a step of the system: named after what
// granted it, and raising threads through the step set with it, if any.
class GrantStep final : public RightsStep {
public:
    GrantStep(Grant realtime, Grant nice, RightsStep* raises)
        : realtime_(std::move(realtime)), nice_(std::move(nice)), raises_(raises) {}
    std::string name() const override { return realtime_.kind != GrantKind::Nothing ? realtime_.by : nice_.by; }
    Grant realtime() override { return raises_ ? realtime_ : Grant{}; }
    Grant nice() override { return nice_; }
    bool makeRealtime(pid_t tid, int priority) override { return raises_ && raises_->makeRealtime(tid, priority); }

private:
    Grant realtime_;
    Grant nice_;
    RightsStep* raises_;
};

}  // namespace

void FakeSystemControl::setMajorVersion(int major) {
    std::lock_guard lock(mutex_);
    major_ = major;
}

std::vector<std::string> FakeSystemControl::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<PriorityClass> FakeSystemControl::priorityClasses() const {
    std::lock_guard lock(mutex_);
    return classes_;
}

std::vector<ThreadPriority> FakeSystemControl::threadPriorities() const {
    std::lock_guard lock(mutex_);
    return priorities_;
}

int FakeSystemControl::majorVersion() {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("majorVersion");
    return major_;
}

void FakeSystemControl::useClassNice(const ClassNice& levels) {
    std::lock_guard lock(mutex_);
    calls_.push_back("useClassNice(" + std::to_string(levels.high) + " " + std::to_string(levels.realtime) + ")");
    classNiceGiven_ = true;
}

bool FakeSystemControl::setProcessPriorityClass(PriorityClass cls) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::string("setProcessPriorityClass(") + className(cls) + ")");
    classes_.push_back(cls);
    return classNiceGiven_;  // as the system's: a class stands for nothing until then
}

bool FakeSystemControl::setCurrentThreadPriority(ThreadPriority priority) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::string("setCurrentThreadPriority(") + levelName(priority) + ")");
    priorities_.push_back(priority);
    return true;
}

std::vector<int> FakeSystemControl::allowedProcessors() {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("allowedProcessors");
    return {0};
}

void FakeSystemControl::setRights(Rights rights) {
    std::lock_guard lock(mutex_);
    rights_ = std::move(rights);
}

void FakeSystemControl::setSessionAnswer(bool raised) {
    std::lock_guard lock(mutex_);
    sessionAnswer_ = raised;
}

void FakeSystemControl::setSessionsGrouped(bool grouped) {
    std::lock_guard lock(mutex_);
    grouped_ = grouped;
}

std::vector<int> FakeSystemControl::threadRealtimes() const {
    std::lock_guard lock(mutex_);
    return realtimes_;
}

bool FakeSystemControl::sessionRaised() const {
    std::lock_guard lock(mutex_);
    return sessionRaised_;
}

std::vector<LaunchStanding> FakeSystemControl::launchStandings() const {
    std::lock_guard lock(mutex_);
    return launchStandings_;
}

std::vector<RightsStep*> FakeSystemControl::rightsSteps(const RealtimeRunTime&) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("rightsSteps");
    steps_.push_back(std::make_unique<GrantStep>(rights_.realtime, Grant{}, rights_.realtimeStep));
    steps_.push_back(std::make_unique<GrantStep>(Grant{}, rights_.nice, nullptr));
    return {steps_[steps_.size() - 2].get(), steps_.back().get()};
}

void FakeSystemControl::useRealtimeStep(RightsStep*) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("useRealtimeStep");
}

bool FakeSystemControl::setCurrentThreadRealtime(int priority) {
    std::lock_guard lock(mutex_);
    calls_.push_back("setCurrentThreadRealtime(" + std::to_string(priority) + ")");
    realtimes_.push_back(priority);
    return rights_.realtime.kind == GrantKind::RealTime;
}

void FakeSystemControl::putGroupsBackOn(std::span<const int> waysOut) {
    std::lock_guard lock(mutex_);
    std::string call = "putGroupsBackOn(";
    for (size_t i = 0; i < waysOut.size(); ++i) call += (i ? " " : "") + std::to_string(waysOut[i]);
    calls_.push_back(call + ")");
}

bool FakeSystemControl::raiseSession(bool raise, PriorityClass) {
    std::lock_guard lock(mutex_);
    calls_.push_back(raise ? "raiseSession(true)" : "raiseSession(false)");
    sessionRaised_ = raise && sessionAnswer_ && classNiceGiven_;
    return sessionRaised_;
}

bool FakeSystemControl::lowerOtherSessions(std::optional<SessionsLowering> ask) {
    std::lock_guard lock(mutex_);
    calls_.push_back(ask ? "lowerOtherSessions(" + std::to_string(ask->nice) + ")" : "lowerOtherSessions(none)");
    return ask.has_value();
}

bool FakeSystemControl::sessionsGrouped() {
    std::lock_guard lock(mutex_);
    return grouped_;
}

void FakeSystemControl::setLaunchStanding(const LaunchStanding& standing) {
    std::lock_guard lock(mutex_);
    launchStandings_.push_back(standing);
}

}  // namespace platform
