// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The burner: a thread that slows the machine down by occupying its
// processor with counted busy loops whose length grows with the slow-down
// factor and is scaled by the benchmark time, giving the processor back
// through short sleeps. It is resumed and suspended from outside.
#include <atomic>
#include <cstdint>

#include "engine/generator.h"
#include "platform/clock.h"
#include "platform/cpu_clock.h"
#include "platform/thread.h"

namespace engine {

// Classic: busy loops scaled by the benchmark time. Accurate: each burner
// holds its processor for exactly the factor's share of every period.
enum class EngineMode { Classic, Accurate };

// The accurate mode's period: short enough that a slowed program does not
// stutter visibly.
inline constexpr int64_t kAccuratePeriodNs = 10'000'000;
// The largest share of every period a real-time burner holds itself; its
// backup holds the rest of the busy part. See accurateCycle.
inline constexpr int32_t kRealtimeShare = 94;

// The start of the accurate period that holds nowNs: the beat all burners share.
int64_t periodStartNs(int64_t nowNs);

// What one cycle did, so tests can check the loops pass by pass.
struct CycleReport {
    bool heavy = false;
    int64_t passes = 0;  // busy-loop passes executed
    int64_t plannedPasses = 0;
    int64_t g = 0;  // the normal cycle's random sleep point
    int sleeps = 0;
};

// Plain arithmetic of the cycles.
int64_t baseCount(int32_t benchmarkTime);                          // nearest(13500 / B * 50000)
int64_t heavyA(int32_t factor, uint64_t d);                        // nearest(x * x * 150000)
int64_t heavyCount(int64_t a, int32_t benchmarkTime, uint64_t r);  // m

// The busy loops. They call nothing but clock.sleep at the stated points and
// return the number of passes made; each pass is a compare-and-count that
// the optimiser must keep.
int64_t runNormalLoop(int64_t lastIndex, int64_t g, platform::Clock& clock, int& sleeps);
int64_t runCountDown(int64_t count);

class TKillThread : public platform::SuspendableThread {
public:
    // fine: the accurate engine's clocks (the machine's unless a test drives them).
    TKillThread(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime,
                platform::FineClock& fine = platform::systemFineClock());
    ~TKillThread() override;

    // The slow-down factor in percent, read at the start of every cycle.
    std::atomic<int32_t> factor{0};
    // The accurate engine's trim of the busy part, in hundredths of a percent
    // of the period (see BusyTrim), read at the start of every cycle.
    std::atomic<int32_t> trimBp{0};
    // The engine mode, read at the start of every cycle.
    std::atomic<EngineMode> mode{EngineMode::Classic};

    // One cycle of the burner's body: reseed, read the factor, burn.
    CycleReport runCycle();
    TGenerator& generator() { return generator_; }

protected:
    void Execute() override;

private:
    CycleReport normalCycle(int32_t f, int32_t benchmarkTime);
    CycleReport heavyCycle(int32_t f, int32_t benchmarkTime);
    CycleReport accurateCycle(int32_t f);
    void reseed();

    platform::Clock& clock_;
    platform::FineClock& fine_;
    const std::atomic<int32_t>& benchmarkTime_;
    TGenerator generator_;
};

}  // namespace engine
