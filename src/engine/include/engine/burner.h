#pragma once
// "The burner thread" as the rest of the program sees it: one TKillThread
// per processor the process may run on, each pinned to its processor, all
// created suspended and resumed, suspended and given factor and priority
// together. One busy thread only occupies one processor; without the others
// a program would simply run on a free processor at full speed.
#include <atomic>
#include <memory>
#include <vector>

#include "engine/factor.h"
#include "engine/killthread.h"

namespace engine {

class TBurner {
public:
    TBurner(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime, const std::vector<int>& processors,
            platform::FineClock& fine = platform::systemFineClock());

    // False when a thread could not be reached; all are then as before.
    bool Resume();
    bool Suspend();
    void SetFactor(int32_t factor);
    int32_t Factor() const;
    void SetPriority(platform::ThreadPriority priority);
    // Real-time scheduling at priority for every burner (0: nice values by
    // their priority level).
    void SetRealtime(int priority);
    int Realtime() const;
    // Takes effect at each burner's next cycle.
    void SetMode(EngineMode mode);
    EngineMode Mode() const;
    platform::ThreadPriority Priority() const;
    int SuspendCount() const;

    size_t size() const { return threads_.size(); }
    TKillThread& thread(size_t i) { return *threads_[i]; }

private:
    std::vector<std::unique_ptr<TKillThread>> threads_;
};

// The priority the burner needs at a factor: time critical above 96.
platform::ThreadPriority burnerPriorityFor(int32_t factor);

}  // namespace engine
