// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scheduling a launched program starts with (see LaunchStanding).
#include <spawn.h>
#include <functional>

#include "platform/rights.h"

namespace platform::launching {

// How the system's process starter (process.cpp) launches from now on.
void setStarterStanding(const LaunchStanding& standing);

// Adds the policy and, where asked, the new session to attr, and runs spawn
// on a thread of its own at the launched program's nice value: a program
// inherits the nice value of the thread that starts it, and Lentora's own
// threads run raised. Returns spawn's result.
int spawnAtLaunchPriority(posix_spawnattr_t& attr, const LaunchStanding& standing, const std::function<int()>& spawn);

}  // namespace platform::launching
