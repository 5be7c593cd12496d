// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "The burner thread" as the rest of the program sees it: one TKillThread
// per processor the process may run on, each pinned to its processor, all
// created suspended and resumed, suspended and given factor and priority
// together. One busy thread only occupies one processor; without the others
// a program would simply run on a free processor at full speed.
//
// Under real time each processor also gets a backup: a second burner under
// the normal policy at the best nice value granted, on the same beat. The
// kernel takes the processor from real-time threads for the last part of
// every second once they used their budget (sched_rt_runtime_us, 950 ms of
// 1000 by default); at factors above that share the backup holds the
// processor then, so that the programs do not get a burst of full speed once
// a second. While the real-time burner runs, the backup waits beneath it.
#include <atomic>
#include <memory>
#include <vector>

#include "engine/factor.h"
#include "engine/kill_thread.h"

namespace engine {

class TBurner {
public:
    TBurner(platform::Clock& clock, const std::atomic<int32_t>& benchmarkTime, const std::vector<int>& processors,
            platform::FineClock& fine = platform::systemFineClock());

    // False when a thread could not be reached; all are then as before.
    platform::Result<> Resume();
    platform::Result<> Suspend();
    void SetFactor(int32_t factor);
    int32_t Factor() const;
    // The accurate engine's trim of the busy part, in hundredths of a
    // percent of the period, for every burner and backup.
    void SetTrim(int32_t trimBp);
    int32_t Trim() const;
    void SetPriority(platform::ThreadPriority priority);
    // The rights ladder's step through which burners and backups are raised.
    void useRealtimeStep(platform::RightsStep* step);
    // Real-time scheduling at priority for every burner (0: nice values by
    // their priority level).
    void SetRealtime(int priority);
    int Realtime() const;
    // Takes effect at each burner's next cycle.
    void SetMode(EngineMode mode);
    EngineMode Mode() const;
    platform::ThreadPriority Priority() const;
    int suspendCount() const;

    size_t size() const { return threads_.size(); }
    TKillThread& thread(size_t i) { return *threads_[i]; }
    // The backups run (resumed with the burners) only while the burners are
    // real-time.
    bool backupsActive() const { return backupsActive_; }
    TKillThread& backup(size_t i) { return *backups_[i]; }

private:
    bool running() const;
    void activateBackups(bool active);

    std::vector<std::unique_ptr<TKillThread>> threads_;
    std::vector<std::unique_ptr<TKillThread>> backups_;
    bool backupsActive_ = false;
};

// The priority the burner needs at a factor: time critical above 96.
platform::ThreadPriority burnerPriorityFor(int32_t factor);

}  // namespace engine
