#pragma once
// The engine mode chosen by the user, kept per user as REG_DWORD "accurate"
// beside "bench": 1 is the accurate mode; absent or anything else, classic.
#include <optional>
#include <string>

#include "engine/killthread.h"
#include "platform/registry.h"

inline constexpr const char* kAccurateValue = "accurate";

EngineMode readStoredMode(platform::UserRegistry& registry);
// On failure returns the reason.
std::optional<std::string> storeMode(platform::UserRegistry& registry, EngineMode mode);
