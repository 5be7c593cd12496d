// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/rights_ladder.h"

#include <algorithm>

namespace engine {

using platform::Grant;
using platform::GrantKind;

RightsLadder::RightsLadder(std::vector<platform::RightsStep*> steps) : steps_(std::move(steps)) {}

const platform::Rights& RightsLadder::climb() {
    if (climbed_) return rights_;
    climbed_ = true;
    for (platform::RightsStep* step : steps_) {
        if (rights_.realtime.kind != GrantKind::RealTime) {
            Grant grant = step->realtime();
            if (grant.kind == GrantKind::RealTime && grant.level > 0) {
                grant.by = step->name();
                rights_.realtime = grant;
                rights_.realtimeStep = step;
            }
        }
        Grant nice = step->nice();
        const bool better = rights_.nice.kind != GrantKind::Nice || nice.level < rights_.nice.level;
        if (nice.kind == GrantKind::Nice && better) {
            nice.by = step->name();
            rights_.nice = nice;
        }
    }
    return rights_;
}

SchedulingPlan planScheduling(const platform::Rights& rights, bool burnersSleepEveryPeriod) {
    SchedulingPlan plan;
    plan.niceRaised = rights.nice.kind == GrantKind::Nice && rights.nice.level < 0;
    if (burnersSleepEveryPeriod && rights.realtime.kind == GrantKind::RealTime && rights.realtimeStep) {
        plan.windowRealtime = std::min(kWindowRealtimePriority, rights.realtime.level);
        plan.burnerRealtime = std::max(1, plan.windowRealtime - 1);
    }
    return plan;
}

bool holdsAgainstOtherSessions(const SchedulingPlan& plan, bool sessionRaised, bool sessionsGrouped) {
    if (plan.burnerRealtime > 0) return true;
    return plan.niceRaised && (sessionRaised || !sessionsGrouped);
}

}  // namespace engine
