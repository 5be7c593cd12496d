#pragma once
// Thread priorities as per-thread nice values. Linux gives every thread its
// own nice value; the process's level is the one the priority class set.
#include <sys/types.h>

#include "platform/thread.h"

namespace platform::priority {

// The nice value that Normal maps to: the process's nice at first use, or
// the level setProcessPriorityClass achieved since.
int processNice();
void setProcessNice(int nice);

// Normal = process nice, AboveNormal = one step above, TimeCritical = -20.
int niceFor(ThreadPriority priority);

// Sets the nice value of one thread (0: the calling one). Short of rights it
// takes the best level RLIMIT_NICE allows; false when nothing better than
// the current level could be set.
bool setThreadNice(pid_t tid, int nice);

}  // namespace platform::priority
