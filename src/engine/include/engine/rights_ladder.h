// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rights ladder: how far Lentora may raise its scheduling, from what the
// system's steps grant (platform/rights.h), and what follows from it for the
// burners and the window's thread. This is the one place that makes that
// choice.
//
// The steps are climbed in the system's order, once. The first step that
// grants real time is the one that later puts threads under the real-time
// policy; a step below it is not asked for real time. The nice grant is the
// best of all steps (for a user without rights: nothing).
#include <vector>

#include "platform/rights.h"

namespace engine {

class RightsLadder {
public:
    explicit RightsLadder(std::vector<platform::RightsStep*> steps);
    // Climbs the steps at the first call; later calls give the same answer.
    const platform::Rights& climb();

private:
    std::vector<platform::RightsStep*> steps_;
    platform::Rights rights_;
    bool climbed_ = false;
};

// What the rights give, as measured with bench/slowdown_bench:
// - real time for the burners only where they sleep every period (the
//   accurate engine): a real-time burner that counts for seconds (the classic
//   heavy cycle) would hold a processor against everything, the desktop too;
// - the window's thread just above the burners, never below;
// - nice values otherwise, as far as granted.
struct SchedulingPlan {
    int burnerRealtime = 0;   // SCHED_FIFO priority of the burners; 0: nice values
    int windowRealtime = 0;   // of the window's thread; 0: nice values
    bool niceRaised = false;  // negative nice values are granted
};

SchedulingPlan planScheduling(const platform::Rights& rights, bool burnersSleepEveryPeriod);

// Whether the burners hold the processor against programs of other sessions:
// real time does; raised nice values do when the session's group is raised
// too, or when the scheduler does not group by session.
bool holdsAgainstOtherSessions(const SchedulingPlan& plan, bool sessionRaised, bool sessionsGrouped);

// The highest real-time priority the burners and the window use: above
// ordinary real-time audio and below the kernel's own watchdog threads.
inline constexpr int kWindowRealtimePriority = 10;

}  // namespace engine
