// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scheduling.h"

namespace engine {

platform::LaunchStanding launchStandingFor(const SchedulingPlan& plan, bool sessionRaised) {
    if (plan.burnerRealtime == 0 && !plan.niceRaised) return {.nice = kLowestStanding, .ownSession = false};
    return {.nice = std::nullopt, .ownSession = sessionRaised};
}

bool whollyTheUsers(const platform::SessionFacts& group) {
    return group.processes > 0 && group.usersOwn == group.processes && group.leaderSeen && group.nice >= 0;
}

SlowDownPolicy applyScheduling(platform::SystemControl& system, const platform::Rights& rights, TBurner& burner,
                               EngineMode mode, platform::PriorityClass designed, int32_t factor) {
    burner.SetMode(mode);
    system.useRealtimeStep(rights.realtimeStep);
    burner.useRealtimeStep(rights.realtimeStep);
    SlowDownPolicy policy;
    system.putGroupsBackOn(policy.waysOut);
    system.useClassNice(policy.classNice);
    policy.plan = planScheduling(rights, mode == EngineMode::Accurate);
    // The accurate engine sleeps the rest of every period, so it can take the
    // strongest class without starving anything; with the designed class the
    // kernel still gives other programs about a fifth of the processor, and
    // factors above 80 % would all feel the same.
    policy.processClass = mode == EngineMode::Accurate ? platform::PriorityClass::Realtime : designed;
    system.setProcessPriorityClass(policy.processClass);
    // The session's group matters to burners on nice values, and to the
    // backups of real-time burners, which hold the processors on nice values
    // while the kernel withholds real time at the end of every second.
    const bool grouped = system.sessionsGrouped();
    policy.raiseSession = policy.plan.niceRaised && grouped;
    policy.sessionRaised = system.raiseSession(policy.raiseSession, policy.processClass);
    // The class sets every thread of the process: put the window's thread
    // back on top and the burners at their factor's level.
    system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    system.setCurrentThreadRealtime(policy.plan.windowRealtime);
    burner.SetRealtime(policy.plan.burnerRealtime);
    burner.SetPriority(burnerPriorityFor(factor));
    policy.launch = launchStandingFor(policy.plan, policy.sessionRaised);
    system.setLaunchStanding(policy.launch);
    policy.holdsOtherSessions = holdsAgainstOtherSessions(policy.plan, policy.sessionRaised, grouped);
    const bool backupsHeldInside = policy.plan.burnerRealtime > 0 && grouped && !policy.sessionRaised;
    policy.lowerOtherSessions = !policy.holdsOtherSessions || backupsHeldInside;
    return policy;
}

}  // namespace engine
