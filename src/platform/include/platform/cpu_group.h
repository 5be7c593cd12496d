// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The process's control group for the processor. Where the cpu controller
// shares the processor between groups (on a systemd desktop every
// application runs in a scope of its own, at equal weight), the kernel
// ignores the session's autogroup, and a nice value counts only against
// threads of the same group. Where the kernel also schedules real time by
// group, a group without a real-time budget refuses the real-time policy
// even to root.
#include <sys/types.h>
#include <string>
#include <string_view>

namespace platform::cpugroup {

enum class Hierarchy { None, V1, V2 };

struct Place {
    Hierarchy hierarchy = Hierarchy::None;
    std::string path;       // inside its hierarchy, "/" for the root group
    std::string directory;  // the group's folder in the file system; empty when not mounted
};

// The group that holds the cpu controller, from the text of /proc/<pid>/cgroup
// and /proc/<pid>/mountinfo: a version 1 hierarchy with "cpu" among its
// controllers, else the unified (version 2) one.
Place locate(std::string_view cgroupText, std::string_view mountinfoText);
// The process's group, as it was at the first call (before any thread of
// it moved elsewhere).
const Place& ownPlace();

// Whether the group's weight against its siblings decides its share: it is
// not the root, and the cpu controller runs for it (version 1: its hierarchy
// is the cpu one; version 2: "cpu" is in the group's cgroup.controllers).
bool weighted(const Place& place);

// Real-time group scheduling (version 1, cpu.rt_runtime_us): the group's
// real-time budget in microseconds per period, -1 where there is none to read.
long long realtimeBudget(const Place& place);
// Puts a thread into the group's folder; false when the system refused.
bool moveThread(pid_t tid, const std::string& directory);
// The nearest group above place that has a real-time budget; empty when none.
std::string budgetedAncestor(const Place& place);

// What the real-time policy met in this process, for the rights note.
enum class RealtimeByGroup {
    NotRefused,       // granted, or refused for another reason
    Refused,          // Lentora's group has no real-time budget
    GrantedAncestor,  // refused there, granted in a group above that has one
};
RealtimeByGroup realtimeByGroup();
// A real-time request that the process had the right to make (its own
// rights, or the desktop's service offering it) was refused where Lentora's
// group has no budget: the group is why.
void noteRefusedByGroup();
// Whether the process's own rights (CAP_SYS_NICE, RLIMIT_RTPRIO) allow
// this real-time priority.
bool rightsAllowRealtime(int priority);

// Puts the calling thread (tid: 0) or another one under SCHED_FIFO through
// set (which returns 0, or the system's error number); where real-time group
// scheduling refuses it for want of budget (EPERM), the thread moves into
// the nearest group above that has one (possible for root) and set is tried
// again. Priority 0 puts the thread back to the normal policy and back into
// Lentora's group.
bool realtimeDespiteGroup(pid_t tid, int priority, int (*set)(pid_t tid, int priority));
// A new thread or process starts in its creator's group: one created by a
// thread that real time moved above comes back into Lentora's own group
// with this (called by the new thread at its start; nothing otherwise).
void returnToOwnGroup();

}  // namespace platform::cpugroup
