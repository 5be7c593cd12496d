// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one-line processor description: from the signature when the processor
// has CPUID, otherwise from the flag-register class tests.
#include <cstdint>
#include <string>

#include "platform/processor.h"

namespace cpuid {

// The table of families 4, 5 and 6 ("Unknown Type" elsewhere); the vendor
// plays no part.
std::string describeSignature(int32_t family, int32_t model, int32_t type);

// "80486 Processor" unless a class test is positive; all three tests run,
// in order, and the last positive one names the class.
std::string describeProcessorClass(platform::Processor& processor);

std::string DescribeProcessor(bool hasCPUID, int32_t family, int32_t model, int32_t type,
                              platform::Processor& processor);

}  // namespace cpuid
