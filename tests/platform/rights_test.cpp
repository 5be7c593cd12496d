// SPDX-License-Identifier: GPL-3.0-or-later
// What the system's own step of the rights ladder finds with and without rights.
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/rights.h"

namespace {

using platform::Grant;
using platform::GrantKind;

// The system's own step, as root and as an ordinary user without limits.
TEST(RightsLadder, OwnRightsAreFoundByTryingAndLeaveNothingRaised) {  // label: forks
    if (geteuid() != 0) GTEST_SKIP() << "needs root to compare with an ordinary user";
    const auto probe = [](bool dropRights) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (dropRights && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
            const int found = getpriority(PRIO_PROCESS, 0);  // the suite may run under nice
            auto step = platform::ownRightsStep();
            const Grant realtime = step->realtime(), nice = step->nice();
            if (sched_getscheduler(0) != SCHED_OTHER || getpriority(PRIO_PROCESS, 0) != found) _exit(91);
            _exit((realtime.kind == GrantKind::RealTime ? 1 : 0) + (nice.kind == GrantKind::Nice ? 2 : 0) +
                  (realtime.level == sched_get_priority_max(SCHED_FIFO) ? 4 : 0) + (realtime.how == "root" ? 8 : 0));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(probe(false), 15) << "root: real time up to the highest priority, and nice values, said to be root's";
    EXPECT_EQ(probe(true), 0) << "an ordinary user without limits: nothing";
}

}  // namespace
