// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/fake_clock.h"

#include <algorithm>

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

void FakeClock::setSystemTime(TimeOfDay t) {
    systemMs_ = ((int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

TimeOfDay FakeClock::systemTime() {
    const int64_t ms = systemMs_.load();
    return {int(ms / 3'600'000), int(ms / 60'000 % 60), int(ms / 1000 % 60), int(ms % 1000)};
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
    if (const size_t i = sleepCount_.fetch_add(1); i < kSleepsKept) sleeps_[i] = ms;
}

std::vector<uint32_t> FakeClock::sleeps() const {
    std::vector<uint32_t> kept(std::min(sleepCount_.load(), kSleepsKept));
    for (size_t i = 0; i < kept.size(); ++i) kept[i] = sleeps_[i];
    return kept;
}

}  // namespace platform
