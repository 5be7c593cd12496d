// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rights ladder: how far Lentora may raise its scheduling, found out once
// at start-up by trying what the system actually grants, and what follows
// from it for the burners, the window's thread and the programs Lentora
// launches. This is the one place that makes that choice.
//
// The ladder is an ordered list of steps. Each step is a way to get a higher
// scheduling level and says what it granted: real time at priority N, nice
// values down to N, or nothing. The first step that grants real time is the
// one that later puts threads under the real-time policy.
//
//   1. own rights (ownRightsStep): root, CAP_SYS_NICE or RLIMIT_RTPRIO let
//      the process take a real-time policy itself; root, CAP_SYS_NICE or
//      RLIMIT_NICE let it take negative nice values.
//   2. the desktop's real-time service, RealtimeKit (realtimeKitStep): for an
//      ordinary user of a local session it makes single threads real-time
//      (or, where it refuses, gives them its high priority), provided the
//      process keeps RLIMIT_RTTIME within the service's limit.
//   3. plain nice values: what remains is the nice grant of step 1 (which is
//      "nothing" for a user without rights).
#include <sys/types.h>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class GrantKind { Nothing, Nice, RealTime };

struct Grant {
    GrantKind kind = GrantKind::Nothing;
    int level = 0;   // RealTime: the highest priority granted; Nice: the lowest nice value
    std::string by;  // the step that granted it
    // What within the step granted it, where the step has more than one way:
    // "root", "CAP_SYS_NICE" or "RLIMIT_RTPRIO" for the process's own rights.
    std::string how{};
};

class RightsStep {
public:
    virtual ~RightsStep() = default;
    virtual std::string name() const = 0;
    // What the step grants, found by trying; it leaves nothing raised.
    virtual Grant realtime() = 0;
    virtual Grant nice() { return {}; }
    // Puts a thread (0: the calling one) under SCHED_FIFO at priority, or back
    // to the normal policy with priority 0. Only asked of a step that granted
    // real time. Threads and processes it creates start at the normal policy.
    virtual bool makeRealtime(pid_t tid, int priority) = 0;
    // Gives a thread (0: the calling one) the best ordinary priority the step
    // can, where the thread's own nice rights fall short. Only asked of a step
    // that granted real time.
    virtual bool makeHighPriority(pid_t) { return false; }
};

struct Rights {
    Grant realtime;                      // the first real-time grant, or Nothing
    Grant nice;                          // the best nice grant, or Nothing
    RightsStep* realtimeStep = nullptr;  // the step that granted real time
};

class RightsLadder {
public:
    explicit RightsLadder(std::vector<std::unique_ptr<RightsStep>> steps);
    // Climbs the steps at the first call; later calls give the same answer.
    const Rights& rights();

private:
    std::vector<std::unique_ptr<RightsStep>> steps_;
    Rights rights_;
    bool climbed_ = false;
};

// The system's steps, in order.
std::vector<std::unique_ptr<RightsStep>> defaultRightsSteps();
std::unique_ptr<RightsStep> ownRightsStep();
class RealtimeKit;
std::unique_ptr<RightsStep> realtimeKitStep(std::unique_ptr<RealtimeKit> kit);

// How launched programs start.
enum class LaunchPriority {
    // The normal policy and the nice value Lentora started with, in the
    // session Lentora runs in.
    Ordinary,
    // The same, in a session of its own: it must not share the raised
    // scheduling group of Lentora's session.
    OrdinaryOwnSession,
    // The lowest priority, in Lentora's session: without rights the burners
    // can only take the processor from programs below them.
    Lowest,
};

// What the rights give, as measured with bench/slowdown_bench:
// - real time for the burners only where they sleep every period (the
//   accurate engine): a real-time burner that counts for seconds (the classic
//   heavy cycle) would hold a processor against everything, the desktop too;
// - the window's thread just above the burners, never below;
// - nice values otherwise, as far as granted.
struct SchedulingPlan {
    int burnerRealtime = 0;   // SCHED_FIFO priority of the burners; 0: nice values
    int windowRealtime = 0;   // of the window's thread; 0: nice values
    bool niceRaised = false;  // negative nice values are granted
};

SchedulingPlan planScheduling(const Rights& rights, bool burnersSleepEveryPeriod);

// Whether the burners hold the processor against programs of other sessions:
// real time does; raised nice values do when the session's group is raised
// too, or when the scheduler does not group by session.
bool holdsAgainstOtherSessions(const SchedulingPlan& plan, bool sessionRaised, bool sessionsGrouped);

// Where the burners cannot be put above a program of Lentora's own session,
// it starts at the lowest priority; a raised session group is never shared.
LaunchPriority launchPriorityFor(const SchedulingPlan& plan, bool sessionRaised);

// The highest real-time priority the burners and the window use: above
// ordinary real-time audio and below the kernel's own watchdog threads.
inline constexpr int kWindowRealtimePriority = 10;

}  // namespace platform
