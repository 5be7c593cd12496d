// SPDX-License-Identifier: GPL-3.0-or-later
// The rights ladder: which step's grant wins, what the plan makes of it, and
// what the system's own step finds with and without rights.
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/fake_rights.h"
#include "platform/rights.h"

namespace {

using platform::FakeRightsStep;
using platform::Grant;
using platform::GrantKind;
using platform::LaunchPriority;

const Grant kNothing{};
const Grant kNice20{GrantKind::Nice, -20, {}};

// An own step and a service below it (where a desktop service such as
// RealtimeKit goes): the first real-time grant wins, and its step raises threads.
TEST(RightsLadder, FirstRealTimeGrantWinsAndItsStepRaisesThreads) {
    struct Case {
        Grant ownRealtime, ownNice, serviceRealtime;
        std::string realtimeBy;
        int burner, window;     // accurate engine
        LaunchPriority launch;  // accurate engine, session left alone
    };
    const Grant rt20{GrantKind::RealTime, 20, {}};
    for (const Case& c : {Case{{GrantKind::RealTime, 99, {}}, kNice20, rt20, "own", 9, 10, LaunchPriority::Ordinary},
                          Case{kNothing, kNothing, rt20, "service", 9, 10, LaunchPriority::Ordinary},
                          Case{{GrantKind::RealTime, 1, {}}, kNothing, kNothing, "own", 1, 1, LaunchPriority::Ordinary},
                          Case{kNothing, kNice20, kNothing, "", 0, 0, LaunchPriority::Ordinary},
                          Case{kNothing, kNothing, kNothing, "", 0, 0, LaunchPriority::Lowest}}) {
        SCOPED_TRACE(c.realtimeBy + " " + std::to_string(c.ownRealtime.level));
        std::vector<std::unique_ptr<platform::RightsStep>> steps;
        steps.push_back(std::make_unique<FakeRightsStep>("own", c.ownRealtime, c.ownNice));
        steps.push_back(std::make_unique<FakeRightsStep>("service", c.serviceRealtime));
        auto& service = static_cast<FakeRightsStep&>(*steps.back());
        platform::RightsLadder ladder(std::move(steps));
        const platform::Rights& rights = ladder.rights();
        EXPECT_EQ(rights.realtime.by, c.realtimeBy);
        const auto accurate = platform::planScheduling(rights, true);
        EXPECT_EQ(accurate.burnerRealtime, c.burner);
        EXPECT_EQ(accurate.windowRealtime, c.window);
        EXPECT_EQ(platform::launchPriorityFor(accurate, false), c.launch);
        EXPECT_EQ(platform::planScheduling(rights, false).burnerRealtime, 0)
            << "the classic cycle stays on nice values";
        if (rights.realtimeStep) rights.realtimeStep->makeRealtime(42, accurate.burnerRealtime);
        EXPECT_EQ(service.raised.size(), c.realtimeBy == "service" ? 1u : 0u);
        ladder.rights();
        EXPECT_EQ(service.probes, c.realtimeBy == "own" ? 0 : 1) << "asked once, and not below a grant";
    }
}

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
