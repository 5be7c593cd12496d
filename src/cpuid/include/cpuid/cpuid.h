// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TCPUID: identifies the processor once, while it is being created (CPUID
// availability, signature, vendor, feature flags, description, a time-stamp
// snapshot) and determines its clock speed. Afterwards the values are only
// read. Creation fails when no source gives a speed and the processor has no
// time-stamp counter for the one-second count: the constructor throws
// NoTimeStampCounter, which createCPUID turns into a failure for the callers
// outside this library.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "cpuid/processor_decoding.h"
#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/processor.h"
#include "platform/registry.h"

namespace cpuid {

// One time-stamp reading with the performance counter read just before and
// just after it.
struct StampedPair {
    int64_t before = 0, after = 0;
    uint64_t stamp = 0;
};

struct NoTimeStampCounter : std::runtime_error {
    NoTimeStampCounter() : std::runtime_error("The processor has no time-stamp counter") {}
};

class TCPUID {
public:
    TCPUID(platform::Processor& processor, platform::Clock& clock, platform::MachineRegistry& registry);
    TCPUID(const TCPUID&) = delete;
    TCPUID& operator=(const TCPUID&) = delete;

    // Properties.
    int32_t CPUID1() const { return cpuid1_; }
    int32_t CPUID2() const { return cpuid2_; }
    int32_t CPUID3() const { return cpuid3_; }
    int32_t CPUID4() const { return cpuid4_; }
    int32_t ProcessorType() const { return signature_.type; }
    int32_t ProcessorFamily() const { return signature_.family; }
    int32_t ProcessorModel() const { return signature_.model; }
    int32_t ProcessorStepping() const { return signature_.stepping; }
    const std::string& ProcessorVendor() const { return vendor_; }
    double ProcessorSpeed() const { return processorSpeed_; }
    const std::string& ProcessorDescription() const { return description_; }
    uint16_t TimeStampHiHi() const { return timeStamp_.hiHi; }
    uint16_t TimeStampHiLo() const { return timeStamp_.hiLo; }
    uint16_t TimeStampLoHi() const { return timeStamp_.loHi; }
    uint16_t TimeStampLoLo() const { return timeStamp_.loLo; }
    bool HasFPU() const { return features_.fpu; }
    bool HasTimeStamp() const { return features_.timeStamp; }
    bool HasAPIC() const { return features_.apic; }
    bool HasCPUID() const { return hasCPUID_; }
    const std::string& VCLVersion() const { return vclVersion_; }

    // Fields that are not properties.
    const VendorBytes& vendorBytesRead() const { return vendorBytes_; }
    int64_t CyclesPerSecond() const { return cyclesPerSecond_; }
    double measuredSpeed() const { return measuredSpeed_; }
    uint64_t StartStamp() const { return startStamp_; }
    uint64_t StopStamp() const { return stopStamp_; }
    int64_t ElapsedTicks() const { return elapsedTicks_; }

    // Reads the counter into the four time-stamp words when HasTimeStamp.
    void RefreshTimeStamp();
    // The counter now, or 0 when leaf 1 (asked afresh) reports no counter.
    uint64_t GetTimeStamp();

    // The interval timer, counting processor cycles.
    void StartTimer();
    void StopTimer();
    // Cycles per second over `iterations` seconds of the performance counter
    // (0 without one); sets the measured speed and the interval timer. The
    // ticks are counted against the counter's time between its readings
    // next to the two time stamps, so a late end of the wait does not count.
    // Throws std::invalid_argument for 0 iterations.
    int64_t GetTicksPerSecond(uint16_t iterations);
    // The stored cycles per second, measured for one second when still 0.
    int64_t GetCPUSpeed();
    // The machine registry's "~MHz" ("~Mhz", "~mhz") in cycles per second,
    // 0 when there is none; also stored as cycles per second.
    int64_t ReadRegistrySpeed();
    // Time-stamp ticks during about one second of the system tick count.
    int64_t CountCyclesOneSecond();

private:
    // The counter now; throws NoTimeStampCounter without one.
    uint64_t readCounter();
    bool probeCPUID();
    void determineSpeed();
    StampedPair stampBetween(int64_t before, int64_t maxWidth);

    platform::Processor& processor_;
    platform::Clock& clock_;
    platform::MachineRegistry& registry_;

    int32_t cpuid1_ = 0, cpuid2_ = 0, cpuid3_ = 0, cpuid4_ = 0;
    ProcessorSignature signature_;
    std::string vendor_ = "Unknown Vendor";
    VendorBytes vendorBytes_{};
    std::string description_;
    TimeStampWords timeStamp_;
    FeatureFlags features_;
    bool hasCPUID_ = false;
    std::string vclVersion_ = "1.02";

    int64_t cyclesPerSecond_ = 0;
    double measuredSpeed_ = 0;
    double processorSpeed_ = 0;
    uint64_t startStamp_ = 0, stopStamp_ = 0;
    int64_t elapsedTicks_ = 0;
};

// TCPUID, or why it could not be created.
platform::Result<std::unique_ptr<TCPUID>> createCPUID(platform::Processor& processor, platform::Clock& clock,
                                                      platform::MachineRegistry& registry);

}  // namespace cpuid
