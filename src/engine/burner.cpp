// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/burner.h"

#include "engine/slowdown_policy.h"

namespace engine {

TBurner::TBurner(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime, const std::vector<int>& processors,
                 platform::FineClock& fine) {
    auto add = [&](int cpu) {
        auto thread = std::make_unique<TKillThread>(clock, benchmarkTime, fine);
        auto backup = std::make_unique<TKillThread>(clock, benchmarkTime, fine);
        if (cpu >= 0) {
            thread->setProcessor(cpu);
            backup->setProcessor(cpu);
        }
        backup->mode.store(EngineMode::Accurate);
        backup->setHighest(kBackupsBesideRealtime);
        threads_.push_back(std::move(thread));
        backups_.push_back(std::move(backup));
    };
    for (int cpu : processors) add(cpu);
    if (threads_.empty()) add(-1);  // affinity unknown: still slow down one processor
}

namespace {

// All threads or none: a thread that cannot be reached undoes the others, so
// the suspend counts stay equal and the caller's state stays true; the first
// thread's reason is the one the user reads.
platform::Result<> resumeAll(const std::vector<TKillThread*>& threads) {
    for (size_t i = 0; i < threads.size(); ++i) {
        auto resumed = threads[i]->resume();
        if (resumed) continue;
        while (i-- > 0) (void)threads[i]->suspend();  // best effort: it was running a moment ago
        return resumed;
    }
    return platform::done();
}

platform::Result<> suspendAll(const std::vector<TKillThread*>& threads) {
    for (size_t i = 0; i < threads.size(); ++i) {
        auto suspended = threads[i]->suspend();
        if (suspended) continue;
        while (i-- > 0) (void)threads[i]->resume();  // best effort: they were suspended a moment ago
        return suspended;
    }
    return platform::done();
}

std::vector<TKillThread*> pointers(const std::vector<std::unique_ptr<TKillThread>>& a,
                                   const std::vector<std::unique_ptr<TKillThread>>* b = nullptr) {
    std::vector<TKillThread*> all;
    for (auto& t : a) all.push_back(t.get());
    if (b)
        for (auto& t : *b) all.push_back(t.get());
    return all;
}

}  // namespace

platform::Result<> TBurner::Resume() { return resumeAll(pointers(threads_, backupsActive_ ? &backups_ : nullptr)); }

platform::Result<> TBurner::Suspend() { return suspendAll(pointers(threads_, backupsActive_ ? &backups_ : nullptr)); }

bool TBurner::running() const { return threads_.front()->suspendCount() == 0; }

// Switched while the burners run, the backups join or leave them at once.
void TBurner::activateBackups(bool active) {
    if (active == backupsActive_) return;
    if (running()) {
        if (!(active ? resumeAll(pointers(backups_)) : suspendAll(pointers(backups_))))
            return;  // as before: the backups keep their state
    }
    backupsActive_ = active;
}

void TBurner::SetFactor(int32_t factor) {
    for (auto& t : threads_) t->factor.store(factor, std::memory_order_relaxed);
    for (auto& t : backups_) t->factor.store(factor, std::memory_order_relaxed);
}

void TBurner::SetTrim(int32_t trimBp) {
    for (auto& t : threads_) t->trimBp.store(trimBp, std::memory_order_relaxed);
    for (auto& t : backups_) t->trimBp.store(trimBp, std::memory_order_relaxed);
}

int32_t TBurner::Trim() const { return threads_.front()->trimBp.load(std::memory_order_relaxed); }

int32_t TBurner::Factor() const { return threads_.front()->factor.load(std::memory_order_relaxed); }

void TBurner::SetPriority(platform::ThreadPriority priority) {
    for (auto& t : threads_) t->setPriority(priority);
}

platform::ThreadPriority TBurner::Priority() const { return threads_.front()->priority(); }

int TBurner::suspendCount() const { return threads_.front()->suspendCount(); }

platform::ThreadPriority burnerPriorityFor(int32_t factor) {
    return factor > kTimeCriticalAbove ? platform::ThreadPriority::TimeCritical : platform::ThreadPriority::AboveNormal;
}

void TBurner::SetMode(EngineMode mode) {
    for (auto& t : threads_) t->mode.store(mode, std::memory_order_relaxed);
}

EngineMode TBurner::Mode() const { return threads_.front()->mode.load(std::memory_order_relaxed); }

void TBurner::useRealtimeStep(platform::RightsStep* step) {
    for (auto& t : threads_) t->useRealtimeStep(step);
    for (auto& b : backups_) b->useRealtimeStep(step);
}

void TBurner::SetRealtime(int priority) {
    bool granted = priority > 0;
    for (auto& t : threads_) granted = t->setRealtime(priority) && granted;
    activateBackups(granted);
}

int TBurner::Realtime() const { return threads_.front()->realtime(); }

}  // namespace engine
