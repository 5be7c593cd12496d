// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the rights allow, applied to the process, the calling (window)
// thread, the burners and the programs launched from now on. The window runs
// it at start-up and at every switch of engine; the benchmark runs the same.
#include "engine/burner.h"
#include "platform/rights.h"
#include "platform/thread.h"

namespace engine {

struct SchedulingOutcome {
    platform::SchedulingPlan plan;
    bool sessionRaised = false;
    bool holdsOtherSessions = false;
    // The user's other sessions go to nice 19 while the burners run: without
    // rights, and where real-time burners' backups (which hold the top of the
    // range, 95-98 %) have nice values that count only inside the session.
    bool lowerOtherSessions = false;
    platform::LaunchPriority launch = platform::LaunchPriority::Ordinary;
};

// designed: the class the design asks for (the accurate engine takes the
// strongest); factor: the track bar's position, for the burners' level.
SchedulingOutcome applyScheduling(platform::SystemControl& system, TBurner& burner, EngineMode mode,
                                  platform::PriorityClass designed, int32_t factor);

}  // namespace engine
