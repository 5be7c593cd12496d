#include "engine/burner.h"

namespace engine {

TBurner::TBurner(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime, const std::vector<int>& processors,
                 platform::FineClock& fine) {
    for (int cpu : processors) {
        auto thread = std::make_unique<TKillThread>(clock, benchmarkTime, fine);
        thread->setProcessor(cpu);
        threads_.push_back(std::move(thread));
    }
    if (threads_.empty())  // affinity unknown: still slow down one processor
        threads_.push_back(std::make_unique<TKillThread>(clock, benchmarkTime, fine));
}

// All threads or none: a thread that cannot be reached undoes the others, so
// the suspend counts stay equal and the caller's state stays true.
bool TBurner::Resume() {
    for (size_t i = 0; i < threads_.size(); ++i) {
        if (threads_[i]->resume()) continue;
        while (i-- > 0) threads_[i]->suspend();
        return false;
    }
    return true;
}

bool TBurner::Suspend() {
    for (size_t i = 0; i < threads_.size(); ++i) {
        if (threads_[i]->suspend()) continue;
        while (i-- > 0) threads_[i]->resume();
        return false;
    }
    return true;
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
    return factor > kTimeCriticalAbove ? platform::ThreadPriority::TimeCritical : platform::ThreadPriority::AboveNormal;
}

void TBurner::SetMode(EngineMode mode) {
    for (auto& t : threads_) t->mode.store(mode, std::memory_order_relaxed);
}

EngineMode TBurner::Mode() const { return threads_.front()->mode.load(std::memory_order_relaxed); }

void TBurner::SetRealtime(int priority) {
    for (auto& t : threads_) t->setRealtime(priority);
}

int TBurner::Realtime() const { return threads_.front()->realtime(); }

}  // namespace engine
