// SPDX-License-Identifier: GPL-3.0-or-later
#include "priority.h"

#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/cpu_group.h"

namespace platform::priority {
namespace {

constexpr int kHighestNice = -20;
constexpr int kLowestNice = 19;
constexpr int kUnset = 1000;

// The level Normal stands for: the process's own, which Linux does not keep
// (every thread has a nice value of its own, the window's at -20). One value
// for the whole process, set where the class is set and read by every
// thread that takes Normal.
std::atomic<int>& processNiceValue() {
    static std::atomic<int> nice{kUnset};
    return nice;
}

// The main thread's nice; its thread id is the process id.
int readNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, getpid());
    return errno == 0 ? nice : 0;
}

// The lowest nice value an unprivileged thread may take: 20 - RLIMIT_NICE.
int lowestAllowedNice() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return kLowestNice + 1;
    const rlim_t cur = limit.rlim_cur == RLIM_INFINITY ? 40 : std::min<rlim_t>(limit.rlim_cur, 40);
    return 20 - static_cast<int>(cur);
}

// Read when the program is loaded, before any of its code raised anything;
// a constant, and at namespace scope because a function's would be read at
// its first call, after the raise.
const int niceAtStart = readNice();

bool refusedForRights(int error) { return error == EACCES || error == EPERM; }

}  // namespace

int startNice() { return niceAtStart; }

bool setThreadRealtime(pid_t tid, int priority, RightsStep* step) {
    return step != nullptr && step->makeRealtime(tid, priority);
}

bool setThreadHighest(pid_t tid, RightsStep* step, bool besideRealtime) {
    if (besideRealtime && cpugroup::realtimeByGroup() == cpugroup::RealtimeByGroup::GrantedAncestor)
        cpugroup::moveThread(tid == 0 ? gettid() : tid, cpugroup::budgetedAncestor(cpugroup::ownPlace()));
    if (setThreadNice(tid, kHighestNice)) {
        errno = 0;
        const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(tid == 0 ? gettid() : tid));
        if (errno == 0 && now == kHighestNice) return true;
    }
    return step != nullptr && step->makeHighPriority(tid);
}

int processNice() {
    std::atomic<int>& value = processNiceValue();
    int nice = value.load();
    if (nice == kUnset) {
        int expected = kUnset;
        value.compare_exchange_strong(expected, readNice());
        nice = value.load();
    }
    return nice;
}

void setProcessNice(int nice) { processNiceValue().store(std::clamp(nice, kHighestNice, kLowestNice)); }

int niceFor(ThreadPriority priority) {
    switch (priority) {
    case ThreadPriority::Normal:
        return processNice();
    case ThreadPriority::AboveNormal:
        return std::max(processNice() - 1, kHighestNice);
    case ThreadPriority::TimeCritical:
        return kHighestNice;
    }
    return processNice();
}

bool setThreadNice(pid_t tid, int nice) {
    nice = std::clamp(nice, kHighestNice, kLowestNice);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0) return true;
    if (!refusedForRights(errno)) return false;
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0) return false;
    const int best = std::max(nice, lowestAllowedNice());
    if (best >= current) return false;  // the rights allow nothing better than the present level
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), best) == 0;
}

}  // namespace platform::priority
