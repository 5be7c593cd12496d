// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/kill_thread.h"

#include <algorithm>
#include <exception>

#include "engine/factor.h"

namespace engine {

int64_t baseCount(int32_t benchmarkTime) { return nearest(13500.0L / benchmarkTime * 50000.0L); }

int64_t heavyA(int32_t factor, uint64_t d) {
    double x = (factor - 3 + static_cast<double>(d)) / 7;
    if (factor == kMaxFactor) x = 20;
    return nearest(static_cast<long double>(x) * x * 150000);
}

int64_t heavyCount(int64_t a, int32_t benchmarkTime, uint64_t r) { return nearest(a * (13500.0L / benchmarkTime) + r); }

int64_t runNormalLoop(int64_t lastIndex, int64_t g, platform::Clock& clock, int& sleeps) {
    int64_t i = 0;
    for (; i <= lastIndex; ++i) {
        if (i == 1) {
            clock.sleep(2);
            ++sleeps;
        } else if (i == g) {
            clock.sleep(2);
            ++sleeps;
        }
        asm volatile("" : "+r"(i));  // each pass must really run
    }
    return i;
}

int64_t runCountDown(int64_t count) {
    int64_t passes = 0;
    for (int64_t k = count; k > 0; --k) {
        asm volatile("" : "+r"(k));
        ++passes;
    }
    return passes;
}

TKillThread::TKillThread(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime, platform::FineClock& fine)
    : clock_(clock), fine_(fine), benchmarkTime_(benchmarkTime) {}

TKillThread::~TKillThread() { terminateAndWait(); }

void TKillThread::Execute() {
    // Nothing may leave the thread: an error ends the burner quietly.
    try {
        do {
            runCycle();
        } while (!Terminated());
    } catch (...) {}
}

void TKillThread::reseed() {
    const platform::TimeOfDay t = clock_.systemTime();
    generator_.seed = static_cast<uint32_t>(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond);
}

CycleReport TKillThread::runCycle() {
    reseed();
    const int32_t f = factor.load(std::memory_order_relaxed);
    const int32_t benchmarkTime = benchmarkTime_.load(std::memory_order_relaxed);
    if (mode.load(std::memory_order_relaxed) == EngineMode::Accurate) return accurateCycle(f);
    return f < kHeavyFactor ? normalCycle(f, benchmarkTime) : heavyCycle(f, benchmarkTime);
}

int64_t periodStartNs(int64_t nowNs) { return nowNs - nowNs % kAccuratePeriodNs; }

CycleReport TKillThread::accurateCycle(int32_t f) {
    CycleReport report;
    keepRealtime();
    // Every burner keeps the same beat: periods start at whole multiples of
    // the period on the monotonic clock, so all burners are busy together and
    // idle together, and a program that moves between processors finds no
    // idle slot that another burner's busy part would have covered.
    const int64_t start = periodStartNs(fine_.monotonicNs());
    const int64_t end = start + kAccuratePeriodNs;
    if (f <= 0) {
        fine_.sleepUntilNs(end);
        report.sleeps = 1;
        return report;
    }
    // Busy for the factor's share of the period in wall time, whatever share
    // of it the scheduler gives the burner: where the burner does not hold
    // the processor (no rights against other sessions, a busy machine), it
    // still leaves the program exactly the rest of every period. Made up in
    // processor time instead, it would spin through the whole period there.
    //
    // A real-time burner stops short of the kernel's budgets. Over 95 % the
    // kernel takes real time away for the rest of every second, and since
    // 6.12 it also lends ordinary threads 50 ms of every second when they got
    // less: both hand the processor to the ordinary threads for tens of ms at
    // once, and a program there gets a whole time slice of its own (a burst of
    // 2-4 ms once a second). The backup, an ordinary thread, holds the last
    // part of every busy part instead, so ordinary threads get their 50 ms a
    // little in every period and real time is never withheld.
    //
    // The trim (the feedback's, see BusyTrim) moves the end of the busy part;
    // the real-time part stays inside the budget whatever it asks.
    const int32_t busyBp = std::clamp(f * 100 + trimBp.load(std::memory_order_relaxed), 0, 10000);
    const int32_t shareBp = realtime() > 0 ? std::min(busyBp, kRealtimeShare * 100) : busyBp;
    const int64_t busyEnd = start + kAccuratePeriodNs * shareBp / 10000;
    while (fine_.monotonicNs() < busyEnd) report.passes += runCountDown(2000);
    fine_.sleepUntilNs(end);
    report.sleeps = 1;
    return report;
}

CycleReport TKillThread::normalCycle(int32_t f, int32_t benchmarkTime) {
    CycleReport report;
    // A benchmark time of 0 or below gives no scale (start-up measures again
    // rather than keep one): the cycle then burns nothing and runs as at
    // factor 0, making the same draws, two passes and two sleeps.
    const bool scaled = benchmarkTime > 0;
    const int64_t base = (scaled ? baseCount(benchmarkTime) : 0) + static_cast<int64_t>(generator_.Draw(100));
    const int64_t work = f > 0 && scaled ? f * base : 0;
    report.g = static_cast<int64_t>(generator_.Draw(static_cast<uint64_t>(work) + 1));
    report.plannedPasses = work + 2;
    report.passes = runNormalLoop(work + 1, report.g, clock_, report.sleeps);
    return report;
}

CycleReport TKillThread::heavyCycle(int32_t f, int32_t benchmarkTime) {
    CycleReport report;
    report.heavy = true;
    const uint64_t d = generator_.Draw(2);
    const uint64_t r = generator_.Draw(40000);
    // Without a scale (benchmark time 0 or below) it only sleeps.
    const int64_t m = benchmarkTime > 0 ? heavyCount(heavyA(f, d), benchmarkTime, r) : -1;
    report.plannedPasses = m + 1 > 0 ? m + 1 : 0;
    report.passes = runCountDown(m + 1);
    clock_.sleep(1);
    report.sleeps = 1;
    return report;
}

}  // namespace engine
