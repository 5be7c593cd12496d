// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace engine {

// The virtual clock speed at a slow-down factor: S - S * p / 100, computed
// in extended precision in that order.
double virtualSpeed(double realSpeed, int32_t factor);

}  // namespace engine
