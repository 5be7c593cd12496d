// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted clock for tests. Every reading comes from what the test set:
// queued readings first (one per call), otherwise a current value that
// advances by a step after each reading. sleep() records the request instead
// of sleeping. Safe to use from several
// threads (it locks a mutex, so don't read it while a thread that uses it
// is suspended).
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace platform {

class FakeClock : public Clock {
public:
    // Time of day; by default 00:00:00.000.
    void queueLocalTimes(const std::vector<TimeOfDay>& times);
    void setSystemTime(TimeOfDay time);

    // Tick count; by default 0 with step 0. Arithmetic wraps at 2^32.
    void setTickCount(uint32_t value) { set(tick_, value); }
    void setTickStep(uint32_t step) { set(tickStep_, step); }  // added after every reading

    // Performance counter; by default frequency 1,000,000,000, counter 0,
    // step 0. Frequency 0 means the machine has no such counter.
    void setPerformanceFrequency(int64_t countsPerSecond) { set(frequency_, countsPerSecond); }
    void setPerformanceStep(int64_t step) { set(counterStep_, step); }  // added after every reading
    void queuePerformanceCounts(const std::vector<int64_t>& values);

    std::vector<uint32_t> sleeps() const;  // the first kSleepsKept
    int tickCountReads() const { return get(tickReads_); }
    int performanceFrequencyReads() const { return get(frequencyReads_); }
    int performanceCounterReads() const { return get(counterReads_); }
    uint32_t lastTickCount() const { return get(lastTick_); }  // the last value tickCount() returned

    TimeOfDay localTime() override;
    TimeOfDay systemTime() override;
    uint32_t tickCount() override;
    int64_t performanceFrequency() override;
    int64_t performanceCounter() override;
    void sleep(uint32_t ms) override;

private:
    template <typename T>
    void set(T& field, T value) {
        std::lock_guard lock(mutex_);
        field = std::move(value);
    }
    template <typename T>
    T get(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    mutable std::mutex mutex_;
    // Without a lock or an allocation: burners reseed and sleep every cycle,
    // and a burner suspended while it held a lock would stop every other
    // burner, and the test with it.
    std::atomic<int64_t> systemMs_{0};
    static constexpr size_t kSleepsKept = 4096;
    std::array<std::atomic<uint32_t>, kSleepsKept> sleeps_{};
    std::atomic<size_t> sleepCount_{0};
    std::deque<TimeOfDay> localQueue_;
    uint32_t tick_ = 0;
    uint32_t tickStep_ = 0;
    int64_t frequency_ = 1'000'000'000;
    int64_t counter_ = 0;
    int64_t counterStep_ = 0;
    std::deque<int64_t> counterQueue_;
    int tickReads_ = 0;
    int frequencyReads_ = 0;
    int counterReads_ = 0;
    uint32_t lastTick_ = 0;
};

}  // namespace platform
