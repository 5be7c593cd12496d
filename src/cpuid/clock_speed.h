// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain arithmetic and registry lookup behind TCPUID's clock speed.
#include <cstdint>

#include "platform/registry.h"

namespace cpuid {

// numerator / denominator rounded to the nearest integer, ties to even.
int64_t DivideRoundingToEven(int64_t numerator, uint16_t denominator);

// The clock speed in MHz from the first processor's key: "~MHz", then
// "~Mhz", then "~mhz", taking the first that is above 0 as a signed 32-bit
// number. A read that fails ends the lookup with 0, as does any error.
int64_t RegistryMHz(platform::MachineRegistry& registry);

}  // namespace cpuid
