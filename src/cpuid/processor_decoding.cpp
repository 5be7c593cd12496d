// SPDX-License-Identifier: GPL-3.0-or-later
#include "cpuid/processor_decoding.h"

namespace cpuid {

ProcessorSignature decodeSignature(uint32_t eax) {
    ProcessorSignature s;
    s.type = int32_t((eax >> 12) & 3);
    s.family = int32_t((eax >> 8) & 15);
    s.model = int32_t((eax >> 4) & 15);
    s.stepping = int32_t(eax & 15);
    return s;
}

VendorBytes vendorBytesOf(const platform::CpuidRegisters& leaf0) {
    VendorBytes bytes{};
    const uint32_t words[3] = {leaf0.ebx, leaf0.edx, leaf0.ecx};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(words[i / 4] >> (8 * (i % 4)));
    return bytes;
}

std::string vendorString(const VendorBytes& bytes) {
    std::string vendor;
    for (uint8_t byte : bytes) {
        if (byte == 0) break;
        vendor.push_back(char(byte));
    }
    return vendor;
}

FeatureFlags decodeFeatures(uint32_t edx) {
    FeatureFlags f;
    f.fpu = (edx & 1u) != 0;
    f.timeStamp = (edx & kTimeStampFeature) != 0;
    f.apic = (edx & (1u << 9)) != 0;
    return f;
}

TimeStampWords splitTimeStamp(uint64_t stamp) {
    TimeStampWords w;
    w.hiHi = uint16_t(stamp >> 48);
    w.hiLo = uint16_t(stamp >> 32);
    w.loHi = uint16_t(stamp >> 16);
    w.loLo = uint16_t(stamp);
    return w;
}

}  // namespace cpuid
