// TCPUID's clock speed: the measurement against the performance counter,
// the registry's figure, the one-second count and the choice between them.
#include "clock_speed.h"

#include <stdexcept>

#include "cpuid/cpuid.h"

namespace cpuid {

int64_t DivideRoundingToEven(int64_t numerator, uint16_t denominator) {
    if (denominator == 0) throw std::invalid_argument("division by zero iterations");
    int64_t quotient = numerator / denominator;
    int64_t twiceRest = 2 * (numerator % denominator);
    if (twiceRest < 0) twiceRest = -twiceRest;
    bool roundAway = twiceRest > denominator || (twiceRest == denominator && quotient % 2 != 0);
    if (roundAway) quotient += numerator < 0 ? -1 : 1;
    return quotient;
}

namespace {

// The lookup on an open key: 0 at the first failed read.
int64_t lookUpMHz(platform::MachineRegistry& registry) {
    for (const char* name : {"~MHz", "~Mhz", "~mhz"}) {
        std::optional<uint32_t> read = registry.readDword(name);
        if (!read) return 0;
        int32_t value = int32_t(*read);
        if (value > 0) return value;
    }
    return 0;
}

}  // namespace

int64_t RegistryMHz(platform::MachineRegistry& registry) {
    try {
        if (!registry.openProcessorKey()) return 0;
        int64_t mhz = 0;
        try {
            mhz = lookUpMHz(registry);
        } catch (...) {
            mhz = 0;
        }
        registry.closeKey();
        return mhz;
    } catch (...) {
        return 0;
    }
}

void TCPUID::StartTimer() {
    startStamp_ = GetTimeStamp();
    stopStamp_ = 0;
    elapsedTicks_ = 0;
}

void TCPUID::StopTimer() {
    stopStamp_ = GetTimeStamp();
    elapsedTicks_ = int64_t(stopStamp_ - startStamp_);
}

// Busy-waits, without sleeping or yielding, so that the measuring thread
// keeps the processor for the whole interval.
int64_t TCPUID::GetTicksPerSecond(uint16_t iterations) {
    if (iterations == 0) throw std::invalid_argument("GetTicksPerSecond needs at least one iteration");
    int64_t frequency = clock_.performanceFrequency();
    if (frequency <= 0) return 0;
    int64_t target = clock_.performanceCounter() + frequency * iterations;
    StartTimer();
    while (clock_.performanceCounter() < target) {}
    StopTimer();
    int64_t result = DivideRoundingToEven(elapsedTicks_, iterations);
    measuredSpeed_ = double(result) / 1'000'000;
    return result;
}

int64_t TCPUID::GetCPUSpeed() {
    if (cyclesPerSecond_ == 0) cyclesPerSecond_ = GetTicksPerSecond(1);
    return cyclesPerSecond_;
}

int64_t TCPUID::ReadRegistrySpeed() {
    cyclesPerSecond_ = RegistryMHz(registry_) * 1'000'000;
    return cyclesPerSecond_;
}

// The window runs from the first tick edge until the tick count has moved
// 1000 ms past the reading before the edge. The distance is taken modulo
// 2^32 so that a tick count wrapping inside the window does not end it early.
int64_t TCPUID::CountCyclesOneSecond() {
    uint32_t t0 = clock_.tickCount();
    while (clock_.tickCount() == t0) {}
    uint64_t start = processor_.readTimeStamp();
    while (uint32_t(clock_.tickCount() - t0) < 1000) {}
    uint64_t end = processor_.readTimeStamp();
    return int64_t(end - start);
}

// The sources after the measurement, in order; a non-zero result (even a
// negative one) is known and ends the search.
void TCPUID::DetermineSpeed() {
    if (cyclesPerSecond_ == 0) ReadRegistrySpeed();
    if (cyclesPerSecond_ == 0) cyclesPerSecond_ = CountCyclesOneSecond();
    if (measuredSpeed_ > 0)
        processorSpeed_ = measuredSpeed_;
    else if (cyclesPerSecond_ > 0)
        processorSpeed_ = double(cyclesPerSecond_) / 1'000'000;
}

}  // namespace cpuid
