// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine mode chosen by the user, kept per user as REG_DWORD "accurate"
// beside "bench": 0 is the classic mode; absent or anything else, accurate.
// The classic cycle's busy part outweighs its two 2 ms sleeps at every factor
// on Linux, so it does not give the speed the window shows: the accurate
// engine is the default, and the classic one stays for those who ask for it.
#include <optional>
#include <string>

#include "engine/kill_thread.h"
#include "platform/registry.h"

namespace engine {

inline constexpr const char* kAccurateValue = "accurate";

EngineMode readStoredMode(platform::UserRegistry& registry);
// Nothing when stored.
platform::Result<> storeMode(platform::UserRegistry& registry, EngineMode mode);

}  // namespace engine
