// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slow-down factor's range and the levels inside it, in one place for
// every part that takes or shows a factor: the burner, the track bar, the
// properties dialog's gauge, and the command line (which depends on no
// library, so the window hands it kMaxFactor).
#include <algorithm>
#include <cstdint>

namespace engine {

inline constexpr int32_t kMinFactor = 0;
// The track bar's top: the burner leaves the machine 2 %.
inline constexpr int32_t kMaxFactor = 98;
// From here the classic engine runs its heavy cycle.
inline constexpr int32_t kHeavyFactor = 96;
// Above this the burners run time critical.
inline constexpr int32_t kTimeCriticalAbove = 96;

// Every factor that reaches the burner passes here: below 0 gives 0, above 98 gives 98.
constexpr int32_t clampFactor(int32_t factor) { return std::clamp(factor, kMinFactor, kMaxFactor); }

}  // namespace engine
