// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine_mode_store.h"

#include "engine/benchmark.h"

namespace engine {

EngineMode readStoredMode(platform::UserRegistry& registry) {
    const auto value = registry.readDword(kRegistryKey, kAccurateValue);
    return value == 0u ? EngineMode::Classic : EngineMode::Accurate;
}

platform::Result<> storeMode(platform::UserRegistry& registry, EngineMode mode) {
    return storeDword(registry, kAccurateValue, mode == EngineMode::Accurate ? 1u : 0u);
}

}  // namespace engine
