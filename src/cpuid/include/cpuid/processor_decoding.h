// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain decoding of what CPUID and RDTSC return: the signature fields of
// leaf 1, the vendor bytes of leaf 0, the decoded feature flags and the four
// 16-bit quarters of a time-stamp reading.
#include <array>
#include <cstdint>
#include <string>

#include "platform/processor.h"

namespace cpuid {

// The base fields of leaf 1's EAX; the extended family and model are not used.
struct ProcessorSignature {
    int32_t type = 0;      // bits 12-13
    int32_t family = 0;    // bits 8-11
    int32_t model = 0;     // bits 4-7
    int32_t stepping = 0;  // bits 0-3
};
ProcessorSignature decodeSignature(uint32_t eax);

// The 12 vendor bytes of leaf 0: EBX, EDX, ECX, each least significant byte first.
using VendorBytes = std::array<uint8_t, 12>;
VendorBytes vendorBytesOf(const platform::CpuidRegisters& leaf0);
// The bytes up to, not including, the first zero byte (all 12 without one).
std::string vendorString(const VendorBytes& bytes);

// The feature bits of leaf 1's EDX that are decoded.
struct FeatureFlags {
    bool fpu = false;        // bit 0
    bool timeStamp = false;  // bit 4
    bool apic = false;       // bit 9
};
FeatureFlags decodeFeatures(uint32_t edx);
inline constexpr uint32_t kTimeStampFeature = 1u << 4;

// A time-stamp reading split into quarters, most significant first.
struct TimeStampWords {
    uint16_t hiHi = 0, hiLo = 0, loHi = 0, loLo = 0;
};
TimeStampWords splitTimeStamp(uint64_t stamp);

}  // namespace cpuid
