// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/scheduling.h"

namespace engine {

SchedulingOutcome applyScheduling(platform::SystemControl& system, TBurner& burner, EngineMode mode,
                                  platform::PriorityClass designed, int32_t factor) {
    burner.SetMode(mode);
    SchedulingOutcome outcome;
    outcome.plan = platform::planScheduling(system.rights(), mode == EngineMode::Accurate);
    // The accurate engine sleeps the rest of every period, so it can take the
    // strongest class without starving anything; with the designed class the
    // kernel still gives other programs about a fifth of the processor, and
    // factors above 80 % would all feel the same.
    const platform::PriorityClass cls = mode == EngineMode::Accurate ? platform::PriorityClass::Realtime : designed;
    system.setProcessPriorityClass(cls);
    // The session's group matters to burners on nice values, and to the
    // backups of real-time burners, which hold the processors on nice values
    // while the kernel withholds real time at the end of every second.
    const bool grouped = system.sessionsGrouped();
    outcome.sessionRaised = system.raiseSession(outcome.plan.niceRaised && grouped, cls);
    // The class sets every thread of the process: put the window's thread
    // back on top and the burners at their factor's level.
    system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    system.setCurrentThreadRealtime(outcome.plan.windowRealtime);
    burner.SetRealtime(outcome.plan.burnerRealtime);
    burner.SetPriority(burnerPriorityFor(factor));
    outcome.launch = platform::launchPriorityFor(outcome.plan, outcome.sessionRaised);
    system.setLaunchPriority(outcome.launch);
    outcome.holdsOtherSessions = platform::holdsAgainstOtherSessions(outcome.plan, outcome.sessionRaised, grouped);
    const bool backupsHeldInside = outcome.plan.burnerRealtime > 0 && grouped && !outcome.sessionRaised;
    outcome.lowerOtherSessions = !outcome.holdsOtherSessions || backupsHeldInside;
    return outcome;
}

}  // namespace engine
