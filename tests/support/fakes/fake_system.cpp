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

bool FakeSystemControl::setProcessPriorityClass(PriorityClass cls) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::string("setProcessPriorityClass(") + className(cls) + ")");
    classes_.push_back(cls);
    return true;
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

std::vector<LaunchPriority> FakeSystemControl::launchPriorities() const {
    std::lock_guard lock(mutex_);
    return launchPriorities_;
}

const Rights& FakeSystemControl::rights() {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("rights");
    return rights_;
}

bool FakeSystemControl::setCurrentThreadRealtime(int priority) {
    std::lock_guard lock(mutex_);
    calls_.push_back("setCurrentThreadRealtime(" + std::to_string(priority) + ")");
    realtimes_.push_back(priority);
    return rights_.realtime.kind == GrantKind::RealTime;
}

bool FakeSystemControl::raiseSession(bool raise, PriorityClass) {
    std::lock_guard lock(mutex_);
    calls_.push_back(raise ? "raiseSession(true)" : "raiseSession(false)");
    sessionRaised_ = raise && sessionAnswer_;
    return sessionRaised_;
}

bool FakeSystemControl::lowerOtherSessions(bool lower) {
    std::lock_guard lock(mutex_);
    calls_.push_back(lower ? "lowerOtherSessions(true)" : "lowerOtherSessions(false)");
    return lower;
}

bool FakeSystemControl::sessionsGrouped() {
    std::lock_guard lock(mutex_);
    return grouped_;
}

void FakeSystemControl::setLaunchPriority(LaunchPriority priority) {
    std::lock_guard lock(mutex_);
    launchPriorities_.push_back(priority);
}

}  // namespace platform
