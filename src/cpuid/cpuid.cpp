// SPDX-License-Identifier: GPL-3.0-or-later
// Creation and identification of TCPUID.
#include "cpuid/cpuid.h"

#include "processor_description.h"

namespace cpuid {

TCPUID::TCPUID(platform::Processor& processor, platform::Clock& clock, platform::MachineRegistry& registry)
    : processor_(processor), clock_(clock), registry_(registry) {
    // Every field already holds its starting value (see the members).
    hasCPUID_ = probeCPUID();
    description_ = DescribeProcessor(hasCPUID_, signature_.family, signature_.model, signature_.type, processor_);
    if (hasCPUID_) {
        features_ = decodeFeatures(uint32_t(cpuid4_));
        if (features_.timeStamp) {
            RefreshTimeStamp();
            if (cyclesPerSecond_ == 0) GetCPUSpeed();
        }
    }
    determineSpeed();
}

// Leaf 1 is asked before leaf 0; the highest supported leaf is not consulted.
bool TCPUID::probeCPUID() {
    if (!processor_.idFlagToggles()) return false;
    platform::CpuidRegisters leaf1 = processor_.cpuid(1);
    cpuid1_ = int32_t(leaf1.eax);
    cpuid2_ = int32_t(leaf1.ebx);
    cpuid3_ = int32_t(leaf1.ecx);
    cpuid4_ = int32_t(leaf1.edx);
    signature_ = decodeSignature(leaf1.eax);
    vendorBytes_ = vendorBytesOf(processor_.cpuid(0));
    vendor_ = vendorString(vendorBytes_);
    return true;
}

void TCPUID::RefreshTimeStamp() {
    if (features_.timeStamp) timeStamp_ = splitTimeStamp(readCounter());
}

uint64_t TCPUID::GetTimeStamp() {
    if ((processor_.cpuid(1).edx & kTimeStampFeature) == 0) return 0;
    return readCounter();
}

uint64_t TCPUID::readCounter() {
    if (const auto stamp = processor_.readTimeStamp()) return *stamp;
    throw NoTimeStampCounter();
}

platform::Result<std::unique_ptr<TCPUID>> createCPUID(platform::Processor& processor, platform::Clock& clock,
                                                      platform::MachineRegistry& registry) {
    try {
        return std::make_unique<TCPUID>(processor, clock, registry);
    } catch (const std::exception& error) {
        return platform::Failure{error.what()};
    }
}

}  // namespace cpuid
