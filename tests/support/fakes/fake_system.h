// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted SystemControl for tests: it answers what the test set (every
// priority is granted, processor 0 is the one allowed) and records every
// call in order.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"

namespace platform {

class FakeSystemControl : public SystemControl {
public:
    void setMajorVersion(int major);        // default 6
    void setRights(Rights rights);          // offered as steps; default: nice values down to -20
    void setSessionAnswer(bool raised);     // answer of raiseSession(true) once useClassNice came, default true
    void setSessionsGrouped(bool grouped);  // default true
    void setRunMeter(RunMeter* meter) { meter_ = meter; }  // default none

    // The calls in order: "majorVersion", "setProcessPriorityClass(High)",
    // "setProcessPriorityClass(Realtime)", "setCurrentThreadPriority(Normal)",
    // "setCurrentThreadPriority(AboveNormal)",
    // "setCurrentThreadPriority(TimeCritical)", "allowedProcessors", "rightsSteps", "useRealtimeStep",
    // "setCurrentThreadRealtime(N)", "putGroupsBackOn(N ...)", "useClassNice(N N)", "raiseSession(true|false)",
    // "lowerOtherSessions(N|none)".
    std::vector<std::string> calls() const;
    std::vector<PriorityClass> priorityClasses() const;
    std::vector<ThreadPriority> threadPriorities() const;
    // Real-time priorities asked for the calling thread, in order.
    std::vector<int> threadRealtimes() const;
    bool sessionRaised() const;
    std::vector<LaunchStanding> launchStandings() const;

    int majorVersion() override;
    void useClassNice(const ClassNice& levels) override;
    bool setProcessPriorityClass(PriorityClass cls) override;
    bool setCurrentThreadPriority(ThreadPriority priority) override;
    std::vector<int> allowedProcessors() override;
    std::vector<RightsStep*> rightsSteps(const RealtimeRunTime& runTime) override;
    void useRealtimeStep(RightsStep* step) override;
    bool setCurrentThreadRealtime(int priority) override;
    void putGroupsBackOn(std::span<const int> waysOut) override;
    bool raiseSession(bool raise, PriorityClass cls) override;
    bool sessionsGrouped() override;
    bool lowerOtherSessions(std::optional<SessionsLowering> ask) override;
    void setLaunchStanding(const LaunchStanding& standing) override;
    RunMeter* runMeter() override { return meter_; }

private:
    mutable std::mutex mutex_;
    int major_ = 6;
    std::vector<std::string> calls_;
    std::vector<PriorityClass> classes_;
    std::vector<ThreadPriority> priorities_;
    Rights rights_{.realtime = {}, .nice = {GrantKind::Nice, -20, "fake"}, .realtimeStep = nullptr};
    bool sessionAnswer_ = true;
    bool classNiceGiven_ = false;
    bool sessionRaised_ = false;
    bool grouped_ = true;
    std::vector<int> realtimes_;
    std::vector<LaunchStanding> launchStandings_;
    // The rights as steps; those of earlier rights stay, for a ladder that still has them.
    std::vector<std::unique_ptr<RightsStep>> steps_;
    RunMeter* meter_ = nullptr;
};

}  // namespace platform
