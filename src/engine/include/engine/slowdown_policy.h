// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the slow-down asks of the system, in one value: the scheduling plan
// and the priorities (and the nice value each class stands for), the
// session's group and the other sessions' (and which of them), the weight
// of Lentora's scope, how programs are launched, and what real time from a
// service must keep to. The engine decides it (engine/scheduling.h applies
// it); the platform only carries it out and reports what it found.
#include <csignal>
#include <span>

#include "engine/rights_ladder.h"
#include "platform/rights.h"
#include "platform/thread.h"

namespace engine {

// The lowest standing there is: nice 19 under the normal policy. Launched
// programs take it where the burners cannot be put above them, and the
// user's other sessions' groups where the burners do not hold against them
// (a group at 19 weighs 1/70 of one at 0). Measured against SCHED_IDLE with
// bench/slowdown_bench (bench/README.md): at nice 19 a launched program
// follows the curve (8.6 % at factor 90, 2.1 % at 98), while under
// SCHED_IDLE it got 19 to 45 % at 90 and 11 to 41 % at 98.
inline constexpr int kLowestStanding = 19;

// The weight of Lentora's scope while the burners run, where the desktop
// schedules by control group: the highest systemd accepts (every scope's
// default is 100).
inline constexpr unsigned long long kRaisedScopeWeight = 10000;

// Real time from the desktop's service is taken only with an RLIMIT_RTTIME
// of 50 ms or more (the service's own default is 200 ms), and a real-time
// thread goes back to the normal policy at half of it: 50 ms leaves a burner
// 25 ms, two and a half periods of the accurate engine (10 ms, of which a
// burner holds 9.4 ms at most before it sleeps). A service that asks for
// less (a hostile one answered 1 µs) would have every burner demoted in its
// first period and every launched program keep a limit that ends it at its
// first real-time slice: its real time is declined then.
inline constexpr platform::RealtimeRunTime kRealtimeRunTime{.leastUsec = 50'000, .softDivisor = 2};

// The signals on which the scheduling groups Lentora changed go back as
// found, as they do at exit: the ways a session's end, a terminal's close, a
// `kill` or a Ctrl-C end a program.
inline constexpr int kWaysOut[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// Where real time runs in a cpu group above Lentora's (root, a group without
// a real-time budget), the backup burners go there too: in Lentora's own
// group their nice value would count only against Lentora's threads, and the
// other groups would share the end of every second that the kernel withholds
// from real time (measured: 4.5 to 7 % instead of 2 to 4 % at 96 to 98, and
// 100 ms slices of 35 %).
inline constexpr bool kBackupsBesideRealtime = true;

// The nice value each priority class stands for: the process's threads
// take it, and the session's group where it is raised. Realtime, the
// accurate engine's, is the strongest there is; High leaves the window's
// thread (TimeCritical, -20) above the burners.
inline constexpr platform::ClassNice kClassNice{.high = -10, .realtime = -20};

// Which of the user's other sessions are lowered: a group wholly the user's,
// every process in it and its session's leader seen among them, and not
// raised (a negative value is what somebody with the rights chose). A group
// is a session's: a root session that holds one process of the user's
// (after "sudo -u user cmd &") is root's, and one whose leader is not seen
// (hidepid) is not known to be the user's.
bool whollyTheUsers(const platform::SessionFacts& group);

struct SlowDownPolicy {
    SchedulingPlan plan;
    // The class every thread of the process starts from.
    platform::PriorityClass processClass = platform::PriorityClass::High;
    // The session's group is asked to follow the class, and whether it did.
    bool raiseSession = false;
    bool sessionRaised = false;
    bool holdsOtherSessions = false;
    // The user's other sessions go to kLowestStanding while the burners run:
    // without rights, and where real-time burners' backups (which hold the
    // top of the range, 95-98 %) have nice values that count only inside the
    // session.
    bool lowerOtherSessions = false;
    platform::SessionsLowering otherSessions{.nice = kLowestStanding, .takes = whollyTheUsers};
    platform::ClassNice classNice = kClassNice;  // handed in before the class is set
    platform::LaunchStanding launch;
    unsigned long long scopeWeight = kRaisedScopeWeight;
    std::span<const int> waysOut = kWaysOut;
};

// Where the burners cannot be put above a program of Lentora's own session,
// it starts at the lowest standing; a raised session group is never shared.
platform::LaunchStanding launchStandingFor(const SchedulingPlan& plan, bool sessionRaised);

}  // namespace engine
