#include "engine/burner.h"

TBurner::TBurner(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime,
                 const std::vector<int>& processors) {
    for (int cpu : processors) {
        auto thread = std::make_unique<TKillThread>(clock, benchmarkTime);
        thread->setProcessor(cpu);
        threads_.push_back(std::move(thread));
    }
    if (threads_.empty())  // affinity unknown: still slow down one processor
        threads_.push_back(std::make_unique<TKillThread>(clock, benchmarkTime));
}

void TBurner::Resume() {
    for (auto& t : threads_) t->resume();
}

void TBurner::Suspend() {
    for (auto& t : threads_) t->suspend();
}

void TBurner::SetFactor(int32_t factor) {
    for (auto& t : threads_) t->factor.store(factor, std::memory_order_relaxed);
}

int32_t TBurner::Factor() const { return threads_.front()->factor.load(std::memory_order_relaxed); }

void TBurner::SetPriority(platform::ThreadPriority priority) {
    for (auto& t : threads_) t->setPriority(priority);
}

platform::ThreadPriority TBurner::Priority() const { return threads_.front()->priority(); }

int TBurner::SuspendCount() const { return threads_.front()->suspendCount(); }

platform::ThreadPriority burnerPriorityFor(int32_t factor) {
    return factor > 96 ? platform::ThreadPriority::TimeCritical : platform::ThreadPriority::AboveNormal;
}

void TBurner::SetMode(EngineMode mode) {
    for (auto& t : threads_) t->mode.store(mode, std::memory_order_relaxed);
}

EngineMode TBurner::Mode() const { return threads_.front()->mode.load(std::memory_order_relaxed); }

void TBurner::SetRealtime(int priority) {
    for (auto& t : threads_) t->setRealtime(priority);
}

int TBurner::Realtime() const { return threads_.front()->realtime(); }
