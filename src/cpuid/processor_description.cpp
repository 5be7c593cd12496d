// SPDX-License-Identifier: GPL-3.0-or-later
#include "processor_description.h"

namespace cpuid {
namespace {

constexpr const char* kOverdrive = " Overdrive";

const char* intel486Suffix(int32_t model) {
    switch (model) {
    case 0:
    case 1:
        return " DX";
    case 2:
        return " SX";
    case 3:
        return " DX2";
    case 4:
        return " SL";
    case 5:
        return " SX2";
    case 7:
        return " DX2 WriteBack";
    case 8:
        return " DX4";
    default:
        return "";
    }
}

const char* pentiumSuffix(int32_t model) {
    switch (model) {
    case 1:
        return " 60/66 Mhz";
    case 2:
        return " 75-200 Mhz";
    case 3:
        return " (486 - Pentuim)";
    case 4:
        return " MMX 166/200 Mhz";
    case 6:
        return " (75,90,100,120,133)";
    default:
        return "";
    }
}

const char* family6Name(int32_t model) {
    switch (model) {
    case 1:
        return "Intel Pentium Pro";
    case 3:
        return "Intel Pentium II";
    case 5:
        return "Intel Pentium P6";
    default:
        return "Unknown Type";
    }
}

// Base text, then " Overdrive" for type 1, then the model suffix.
std::string compose(const char* base, int32_t type, const char* suffix) {
    std::string text = base;
    if (type == 1) text += kOverdrive;
    return text + suffix;
}

}  // namespace

std::string describeSignature(int32_t family, int32_t model, int32_t type) {
    switch (family) {
    case 4:
        return compose("Intel 486", type, intel486Suffix(model));
    case 5:
        return compose("Intel Pentium", type, pentiumSuffix(model));
    case 6:
        return compose(family6Name(model), type, "");
    default:
        return "Unknown Type";
    }
}

std::string describeProcessorClass(platform::Processor& processor) {
    std::string text = "80486 Processor";
    if (processor.test8086()) text = "8086/8088 Processor";
    if (processor.test80286()) text = "80286 Processor";
    if (processor.test80386()) text = "80386 Processor";
    return text;
}

std::string DescribeProcessor(bool hasCPUID, int32_t family, int32_t model, int32_t type,
                              platform::Processor& processor) {
    return hasCPUID ? describeSignature(family, model, type) : describeProcessorClass(processor);
}

}  // namespace cpuid
