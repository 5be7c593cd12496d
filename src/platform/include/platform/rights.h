// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps to higher scheduling that the system offers, and what each
// grants, found by trying. Which grant is used, and what follows from it for
// the burners, the window's thread and the programs Lentora launches, is the
// engine's choice (engine/rights_ladder.h); a step only tries and carries out.
//
// Each step is a way to get a higher scheduling level and says what it
// granted: real time at priority N, nice values down to N, or nothing.
//
//   1. own rights (ownRightsStep): root, CAP_SYS_NICE or RLIMIT_RTPRIO let
//      the process take a real-time policy itself; root, CAP_SYS_NICE or
//      RLIMIT_NICE let it take negative nice values.
//   2. the desktop's real-time service, RealtimeKit (realtimeKitStep): for an
//      ordinary user of a local session it makes single threads real-time
//      (or, where it refuses, gives them its high priority), provided the
//      process keeps RLIMIT_RTTIME within the service's limit.
#include <sys/types.h>
#include <memory>
#include <optional>
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

// What the engine's ladder chose.
struct Rights {
    Grant realtime;                      // the first real-time grant, or Nothing
    Grant nice;                          // the best nice grant, or Nothing
    RightsStep* realtimeStep = nullptr;  // the step that granted real time
};

// What real time granted by a service must keep to, as the engine asks: the
// least RLIMIT_RTTIME worth taking from it, and the part of the limit (a
// divisor) at which a real-time thread is put back to the normal policy.
struct RealtimeRunTime {
    long long leastUsec = 0;
    int softDivisor = 1;
};

// The system's steps, in order: the process's own rights, then the desktop's
// real-time service.
std::vector<std::unique_ptr<RightsStep>> defaultRightsSteps(const RealtimeRunTime& runTime);
std::unique_ptr<RightsStep> ownRightsStep();
class RealtimeKit;
std::unique_ptr<RightsStep> realtimeKitStep(std::unique_ptr<RealtimeKit> kit, const RealtimeRunTime& runTime);

// How launched programs start: the normal policy at a nice value (none: the
// one Lentora started with), in Lentora's session or in one of their own.
struct LaunchStanding {
    std::optional<int> nice;
    bool ownSession = false;
    bool operator==(const LaunchStanding&) const = default;
};

}  // namespace platform
