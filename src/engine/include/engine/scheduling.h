// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slow-down's policy (engine/slowdown_policy.h) for the rights the
// ladder chose, applied to the process, the calling (window) thread, the
// burners and the programs launched from now on. The window runs it at
// start-up and at every switch of engine; the benchmark runs the same.
#include "engine/burner.h"
#include "engine/slowdown_policy.h"
#include "platform/rights.h"
#include "platform/thread.h"

namespace engine {

// designed: the class the design asks for (the accurate engine takes the
// strongest); factor: the track bar's position, for the burners' level.
SlowDownPolicy applyScheduling(platform::SystemControl& system, const platform::Rights& rights, TBurner& burner,
                               EngineMode mode, platform::PriorityClass designed, int32_t factor);

}  // namespace engine
