// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Thread priorities as per-thread nice values. Linux gives every thread its
// own nice value; the process's level is the one the priority class set.
#include <sys/types.h>

#include "platform/rights.h"
#include "platform/thread.h"

namespace platform::priority {

// The nice value that Normal maps to: the process's nice at first use, or
// the level setProcessPriorityClass achieved since.
int processNice();
void setProcessNice(int nice);

// The nice value the process started with, read before anything raised it.
int startNice();

// Puts a thread (0: the calling one) under the real-time policy at priority
// through the step of the rights ladder that granted real time, or back to
// the normal policy with 0. False when there is no step or it refused.
bool setThreadRealtime(pid_t tid, int priority, RightsStep* step);

// The best ordinary priority for one thread (0: the calling one): nice -20
// where the rights allow it, else what the real-time step (if any) can give;
// besideRealtime: in the cpu group above Lentora's where real time runs, if
// it runs there.
bool setThreadHighest(pid_t tid, RightsStep* step, bool besideRealtime);

// Normal = process nice, AboveNormal = one step above, TimeCritical = -20.
int niceFor(ThreadPriority priority);

// Sets the nice value of one thread (0: the calling one). Short of rights it
// takes the best level RLIMIT_NICE allows; false when nothing better than
// the current level could be set.
bool setThreadNice(pid_t tid, int nice);

}  // namespace platform::priority
