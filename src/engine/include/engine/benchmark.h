// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The speed benchmark: how long this machine takes for a fixed number of
// generator draws. The result scales the burner's busy loops.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/generator.h"
#include "platform/clock.h"
#include "platform/registry.h"

namespace engine {

inline constexpr int64_t kBenchmarkDraws = 50'000'001;
inline constexpr const char* kRegistryKey = "software\\Halvix\\Lentora!!!";
inline constexpr const char* kBenchValue = "bench";

// Milliseconds of local time taken by `draws` floating-point draws. A
// measurement across local midnight still gives the true elapsed time.
int32_t MeasureBench(platform::Clock& clock, TGenerator& generator, int64_t draws = kBenchmarkDraws);

// Milliseconds between two times of day, assuming less than a day passed.
int32_t elapsedMs(const platform::TimeOfDay& from, const platform::TimeOfDay& to);

// The stored benchmark time: nothing when the key or a REG_DWORD "bench" is missing.
std::optional<int32_t> readStoredBench(platform::UserRegistry& registry);
// Stores the time as REG_DWORD "bench"; nothing when stored.
platform::Result<> storeBench(platform::UserRegistry& registry, int32_t benchmarkTime);
// Stores a REG_DWORD beside it, creating the key; a failure says
// "Failed to set data for '<name>': " and why.
platform::Result<> storeDword(platform::UserRegistry& registry, const char* name, uint32_t value);

// The longest benchmark time taken as true: one minute. This machine takes
// about 70 ms, and a 1 GHz in-order processor of 2008 about a second; a
// minute of measuring with the window frozen at start-up is more than any
// machine the program runs on needs.
inline constexpr int32_t kLongestBenchmarkMs = 60'000;

// Whether a benchmark time can scale the burner: 1 ms up to the longest.
// Anything else is a damaged value: at or below 0 the burner would burn
// nothing, far above it the busy loops shrink to nearly nothing.
bool usableBenchmarkTime(int32_t benchmarkTime);

// The start-up rule: use the stored time; measure (runBenchmark) when it is
// missing or damaged, and once more when the measurement is not usable
// either. Returns the time in force.
int32_t loadBenchmarkTime(platform::UserRegistry& registry, const std::function<int32_t()>& runBenchmark);

}  // namespace engine
