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

void FakeClock::queuePerformanceCounts(const std::vector<int64_t>& values) {
    std::lock_guard lock(mutex_);
    counterQueue_.insert(counterQueue_.end(), values.begin(), values.end());
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
