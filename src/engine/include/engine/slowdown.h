// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The slow-down as the window drives it: the burners and their factor, the
// running flag, the priorities the rights allow, the engine mode and the
// benchmark time, with their storage per user. The window's handlers forward
// here and only show the outcome. Everything but suspendNow, Resume and
// restoreFactor belongs to the window's thread; those three are also called
// from a watcher's thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/burner.h"
#include "engine/busy_trim.h"
#include "engine/factor.h"
#include "engine/generator.h"
#include "engine/rights_ladder.h"
#include "engine/share_sampler.h"
#include "engine/slowdown_policy.h"
#include "engine/standing.h"
#include "platform/clock.h"
#include "platform/group_standing.h"
#include "platform/registry.h"
#include "platform/thread.h"

namespace engine {

class TSlowDown {
public:
    TSlowDown(platform::SystemControl& system, platform::UserRegistry& registry, platform::Clock& clock);

    // Start-up: the designed class (high from version 5 on, real time
    // before) for the process and time critical for the calling thread.
    void applyStartupPriorities();
    platform::PriorityClass designedPriorityClass() const;

    // The stored benchmark time, measured through measure (which is expected
    // to call measureBenchmark) when missing or damaged. Returns the time.
    int32_t loadBenchmark(const std::function<void()>& measure);
    // Measures with draws draws, keeps the time in use and stores it; on a
    // failed store returns why (the new time is in use all the same).
    platform::Result<> measureBenchmark(int64_t draws);
    int32_t benchmarkTime() const { return benchmarkTime_.load(); }

    // One burner per processor (none given: those the process may run on),
    // suspended, in the stored engine mode with its priorities.
    void createBurner(std::vector<int> processors);
    bool hasBurner() const { return burner_ != nullptr; }
    TBurner& Burner() { return *burner_; }

    EngineMode Mode() const { return mode_; }
    // Applies the mode's priorities at once.
    void applyEngineMode(EngineMode mode);
    // The user's choice: applied and stored; on a failed store why not.
    platform::Result<> chooseEngineMode(EngineMode mode);
    // What the slow-down holds against, from what was granted and how the
    // kernel shares the processors (engine/standing.h), and its texts: the
    // note on the start-up line (empty where nothing needs saying), the
    // status bar's box and the box's tooltip.
    Standing currentStanding() const;
    std::string rightsNote() const;
    std::string rightsSummary() const;
    std::string rightsDetails() const;

    // The factor, clamped to 0..98 on every way in, with the burners'
    // priority for it. Returns the factor in force.
    int32_t SetFactor(int32_t factor);
    int32_t Factor() const { return factor_; }

    bool Running() const { return running_; }
    // The running state begins, with the feedback's trim undone and the
    // measurement afresh; the burners are resumed separately (a launch
    // resumes them only once its program started).
    void markRunning();
    platform::Result<> Resume();
    // Suspends the burners; on success the running state ends.
    platform::Result<> Stop();
    // From any thread: the burners stop now; the caller ends the running
    // state on the window's thread with markStopped once it succeeded.
    platform::Result<> suspendNow();
    void markStopped() { running_ = false; }
    // A watcher puts back the factor it found, clamped like every other.
    void restoreFactor(int32_t factor);

    // Once a second on the window's thread while the slow-down runs: what
    // programs got since the last call (program: the launched program's id,
    // 0: none), and in the accurate engine the burners' busy part trimmed
    // from it (engine/busy_trim.h). Nothing measured on the first call, while
    // the burners are suspended, or where the system measures nothing.
    Readout measure(pid_t program);
    // The launched program's share over the run so far; nothing before a window.
    std::optional<ProgramTotals> programTotals() const;
    // The free part's ratio the feedback holds (1: as the factor sets it).
    double trimRatio() const { return trim_.ratio(); }

    // The window goes: the burners stay suspended for good (no thread is
    // joined) and the session's group goes back as it was found.
    void Release();

    // Where the desktop schedules by control group: what Lentora's group
    // obtained for the burners, for the rights note.
    platform::GroupFacts groupFacts() const;

private:
    // The ladder's choice, climbed at the first call.
    const platform::Rights& climbRights();
    void weighGroup(bool running);
    void applyTrim();
    platform::SystemControl& system_;
    platform::UserRegistry& registry_;
    platform::Clock& clock_;
    // Shared with the burner threads.
    std::atomic<int32_t> benchmarkTime_{0};
    std::unique_ptr<TBurner> burner_;
    TGenerator generator_;
    EngineMode mode_ = EngineMode::Accurate;
    int32_t factor_ = 0;
    bool running_ = false;
    bool version5_ = false;
    std::atomic<bool> holdsOtherSessions_{true};
    std::atomic<bool> lowerOtherSessions_{false};                           // read by watchers in Resume
    std::atomic<int> otherSessionsNice_{kLowestStanding};                   // as far as they are lowered
    std::atomic<platform::SessionRule> otherSessionsRule_{whollyTheUsers};  // which of them
    std::atomic<unsigned long long> scopeWeight_{kRaisedScopeWeight};       // of Lentora's scope while the burners run
    std::optional<RightsLadder> ladder_;
    BusyTrim trim_;
    std::unique_ptr<ShareSampler> sampler_;  // none where the system measures nothing
    int windowRealtime_ = 0;                 // the window thread's real-time priority, 0: none
    std::string realtimeGrantedBy_;          // the rights ladder's step that granted real time
    std::string realtimeHow_;                // and how, where the step says
};

}  // namespace engine
