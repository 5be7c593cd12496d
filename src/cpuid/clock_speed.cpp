// SPDX-License-Identifier: GPL-3.0-or-later
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

namespace {

// A pair wider than this (in counter time) is taken again: the thread was
// put off the processor between its readings.
constexpr int64_t kNarrowPairPerSecond = 20'000;  // 50 microseconds
constexpr int kPairTries = 5;

int64_t width(const StampedPair& pair) { return pair.after - pair.before; }

// numerator * factor / divisor, rounded to the nearest integer, in 128 bits.
int64_t scaleRounding(int64_t numerator, int64_t factor, int64_t divisor) {
    const __int128 product = static_cast<__int128>(numerator) * factor;
    __int128 quotient = product / divisor;
    const __int128 rest = product % divisor;
    if (2 * (rest < 0 ? -rest : rest) >= divisor) quotient += product < 0 ? -1 : 1;
    return static_cast<int64_t>(quotient);
}

}  // namespace

// A time-stamp reading between two counter readings, the first given. A
// wide pair means the thread was put off the processor in between: it is
// taken again, keeping the narrowest; each try's last reading is the next
// one's first.
StampedPair TCPUID::stampBetween(int64_t before, int64_t maxWidth) {
    StampedPair best{};
    for (int i = 0; i < kPairTries; ++i) {
        const uint64_t stamp = GetTimeStamp();
        const StampedPair pair{before, clock_.performanceCounter(), stamp};
        if (i == 0 || width(pair) < width(best)) best = pair;
        if (width(best) <= maxWidth) break;
        before = pair.after;
    }
    return best;
}

// Busy-waits, without sleeping or yielding, so that the measuring thread
// keeps the processor for the whole interval. A thread put off the
// processor while the counter passes the target (on a busy machine, for a
// time slice or more) ends the wait late, so the ticks are counted against
// the counter's own time between the middles of the two pairs, not against
// the target: the figure is then off by at most half the two pairs' widths.
int64_t TCPUID::GetTicksPerSecond(uint16_t iterations) {
    if (iterations == 0) throw std::invalid_argument("GetTicksPerSecond needs at least one iteration");
    const int64_t frequency = clock_.performanceFrequency();
    if (frequency <= 0) return 0;
    const int64_t maxWidth = frequency / kNarrowPairPerSecond;
    const int64_t c0 = clock_.performanceCounter();
    const int64_t target = c0 + frequency * iterations;
    const StampedPair start = stampBetween(c0, maxWidth);
    startStamp_ = start.stamp;  // the interval timer, as StartTimer and StopTimer set it
    int64_t now = start.after;
    while (now < target) now = clock_.performanceCounter();
    const StampedPair stop = stampBetween(now, maxWidth);
    stopStamp_ = stop.stamp;
    elapsedTicks_ = int64_t(stopStamp_ - startStamp_);
    const int64_t twiceCounted = (stop.before + stop.after) - (start.before + start.after);
    const int64_t ticks =
        twiceCounted > 0 ? scaleRounding(elapsedTicks_, 2 * frequency * iterations, twiceCounted) : elapsedTicks_;
    const int64_t result = DivideRoundingToEven(ticks, iterations);
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
    uint64_t start = readCounter();
    while (uint32_t(clock_.tickCount() - t0) < 1000) {}
    uint64_t end = readCounter();
    return int64_t(end - start);
}

// The sources after the measurement, in order; a non-zero result (even a
// negative one) is known and ends the search.
void TCPUID::determineSpeed() {
    if (cyclesPerSecond_ == 0) ReadRegistrySpeed();
    if (cyclesPerSecond_ == 0) cyclesPerSecond_ = CountCyclesOneSecond();
    if (measuredSpeed_ > 0)
        processorSpeed_ = measuredSpeed_;
    else if (cyclesPerSecond_ > 0)
        processorSpeed_ = double(cyclesPerSecond_) / 1'000'000;
}

}  // namespace cpuid
