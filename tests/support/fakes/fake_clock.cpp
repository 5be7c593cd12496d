// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_clock.h"

namespace platform {
namespace {

template <typename T>
T takeQueuedOr(std::deque<T>& queue, const T& otherwise) {
    if (queue.empty()) return otherwise;
    T value = queue.front();
    queue.pop_front();
    return value;
}

}  // namespace

void FakeClock::queueLocalTimes(const std::vector<TimeOfDay>& times) {
    std::lock_guard lock(mutex_);
    localQueue_.insert(localQueue_.end(), times.begin(), times.end());
}

void FakeClock::setSystemTime(TimeOfDay time) {
    std::lock_guard lock(mutex_);
    system_ = time;
}

void FakeClock::setTickCount(uint32_t value) {
    std::lock_guard lock(mutex_);
    tick_ = value;
}

void FakeClock::setTickStep(uint32_t step) {
    std::lock_guard lock(mutex_);
    tickStep_ = step;
}

void FakeClock::setPerformanceFrequency(int64_t countsPerSecond) {
    std::lock_guard lock(mutex_);
    frequency_ = countsPerSecond;
}

void FakeClock::setPerformanceStep(int64_t step) {
    std::lock_guard lock(mutex_);
    counterStep_ = step;
}

void FakeClock::queuePerformanceCounts(const std::vector<int64_t>& values) {
    std::lock_guard lock(mutex_);
    counterQueue_.insert(counterQueue_.end(), values.begin(), values.end());
}

std::vector<uint32_t> FakeClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

int FakeClock::tickCountReads() const {
    std::lock_guard lock(mutex_);
    return tickReads_;
}

int FakeClock::performanceFrequencyReads() const {
    std::lock_guard lock(mutex_);
    return frequencyReads_;
}

uint32_t FakeClock::lastTickCount() const {
    std::lock_guard lock(mutex_);
    return lastTick_;
}

int FakeClock::performanceCounterReads() const {
    std::lock_guard lock(mutex_);
    return counterReads_;
}

TimeOfDay FakeClock::localTime() {
    std::lock_guard lock(mutex_);
    return takeQueuedOr(localQueue_, TimeOfDay{});
}

TimeOfDay FakeClock::systemTime() {
    std::lock_guard lock(mutex_);
    return system_;
}

uint32_t FakeClock::tickCount() {
    std::lock_guard lock(mutex_);
    ++tickReads_;
    lastTick_ = tick_;
    tick_ += tickStep_;
    return lastTick_;
}

int64_t FakeClock::performanceFrequency() {
    std::lock_guard lock(mutex_);
    ++frequencyReads_;
    return frequency_;
}

int64_t FakeClock::performanceCounter() {
    std::lock_guard lock(mutex_);
    ++counterReads_;
    if (!counterQueue_.empty()) return takeQueuedOr(counterQueue_, counter_);
    const int64_t value = counter_;
    counter_ += counterStep_;
    return value;
}

void FakeClock::sleep(uint32_t ms) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(ms);
}

}  // namespace platform
