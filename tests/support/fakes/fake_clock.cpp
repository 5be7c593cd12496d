// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_clock.h"

#include <utility>

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

void FakeClock::setLocalTime(TimeOfDay time) {
    std::lock_guard lock(mutex_);
    local_ = time;
}

void FakeClock::queueLocalTimes(const std::vector<TimeOfDay>& times) {
    std::lock_guard lock(mutex_);
    localQueue_.insert(localQueue_.end(), times.begin(), times.end());
}

void FakeClock::setSystemTime(TimeOfDay time) {
    std::lock_guard lock(mutex_);
    system_ = time;
}

void FakeClock::queueSystemTimes(const std::vector<TimeOfDay>& times) {
    std::lock_guard lock(mutex_);
    systemQueue_.insert(systemQueue_.end(), times.begin(), times.end());
}

void FakeClock::setTickCount(uint32_t value) {
    std::lock_guard lock(mutex_);
    tick_ = value;
}

void FakeClock::setTickStep(uint32_t step) {
    std::lock_guard lock(mutex_);
    tickStep_ = step;
}

void FakeClock::queueTickCounts(const std::vector<uint32_t>& values) {
    std::lock_guard lock(mutex_);
    tickQueue_.insert(tickQueue_.end(), values.begin(), values.end());
}

void FakeClock::setTickSource(std::function<uint32_t()> source) {
    std::lock_guard lock(mutex_);
    tickSource_ = std::move(source);
}

void FakeClock::setPerformanceFrequency(int64_t countsPerSecond) {
    std::lock_guard lock(mutex_);
    frequency_ = countsPerSecond;
}

void FakeClock::setPerformanceCounter(int64_t value) {
    std::lock_guard lock(mutex_);
    counter_ = value;
}

void FakeClock::setPerformanceStep(int64_t step) {
    std::lock_guard lock(mutex_);
    counterStep_ = step;
}

void FakeClock::queuePerformanceCounts(const std::vector<int64_t>& values) {
    std::lock_guard lock(mutex_);
    counterQueue_.insert(counterQueue_.end(), values.begin(), values.end());
}

void FakeClock::setSleepHook(std::function<void(uint32_t)> hook) {
    std::lock_guard lock(mutex_);
    sleepHook_ = std::move(hook);
}

std::vector<uint32_t> FakeClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

int FakeClock::localTimeReads() const {
    std::lock_guard lock(mutex_);
    return localReads_;
}

int FakeClock::systemTimeReads() const {
    std::lock_guard lock(mutex_);
    return systemReads_;
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
    ++localReads_;
    return takeQueuedOr(localQueue_, local_);
}

TimeOfDay FakeClock::systemTime() {
    std::lock_guard lock(mutex_);
    ++systemReads_;
    return takeQueuedOr(systemQueue_, system_);
}

uint32_t FakeClock::tickCount() {
    std::function<uint32_t()> source;
    {
        std::lock_guard lock(mutex_);
        ++tickReads_;
        if (!tickQueue_.empty()) return lastTick_ = takeQueuedOr(tickQueue_, tick_);
        if (!tickSource_) {
            lastTick_ = tick_;
            tick_ += tickStep_;
            return lastTick_;
        }
        source = tickSource_;
    }
    const uint32_t value = source();  // outside the lock: the source may use the clock
    std::lock_guard lock(mutex_);
    return lastTick_ = value;
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
    std::function<void(uint32_t)> hook;
    {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(ms);
        hook = sleepHook_;
    }
    if (hook) hook(ms);
}

}  // namespace platform
