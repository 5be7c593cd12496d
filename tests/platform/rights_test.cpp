// The rights ladder: which step's grant wins, what the plan makes of it, and
// what the system's own step finds with and without rights.
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fake_rights.h"
#include "platform/rights.h"

namespace {

using platform::FakeRightsStep;
using platform::Grant;
using platform::GrantKind;
using platform::LaunchPriority;

const Grant kNothing{};
const Grant kNice20{GrantKind::Nice, -20, {}};

TEST(RightsLadder, FirstRealTimeGrantWinsAndItsStepRaisesThreads) {
    struct Case {
        const char* name;
        Grant ownRealtime, ownNice, serviceRealtime;
        const char* realtimeBy;  // nullptr: no real time
        int burner, window;      // accurate engine
        LaunchPriority launch;   // accurate engine, session left alone
    };
    const Case cases[] = {
        {"root", {GrantKind::RealTime, 99, {}}, kNice20, {GrantKind::RealTime, 20, {}}, "own", 9, 10, LaunchPriority::Ordinary},
        {"service only", kNothing, kNothing, {GrantKind::RealTime, 20, {}}, "service", 9, 10, LaunchPriority::Ordinary},
        {"rtprio 1", {GrantKind::RealTime, 1, {}}, kNothing, kNothing, "own", 1, 1, LaunchPriority::Ordinary},
        {"rtprio 5", {GrantKind::RealTime, 5, {}}, kNothing, kNothing, "own", 4, 5, LaunchPriority::Ordinary},
        {"nice limit", kNothing, kNice20, kNothing, nullptr, 0, 0, LaunchPriority::Ordinary},
        {"nothing", kNothing, kNothing, kNothing, nullptr, 0, 0, LaunchPriority::Lowest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto own = std::make_unique<FakeRightsStep>("own", c.ownRealtime, c.ownNice);
        auto service = std::make_unique<FakeRightsStep>("service", c.serviceRealtime);
        FakeRightsStep* serviceStep = service.get();
        std::vector<std::unique_ptr<platform::RightsStep>> steps;
        steps.push_back(std::move(own));
        steps.push_back(std::move(service));
        platform::RightsLadder ladder(std::move(steps));
        const platform::Rights& rights = ladder.rights();
        EXPECT_EQ(rights.realtime.by, c.realtimeBy ? c.realtimeBy : "");
        const auto accurate = platform::planScheduling(rights, true);
        EXPECT_EQ(accurate.burnerRealtime, c.burner);
        EXPECT_EQ(accurate.windowRealtime, c.window);
        EXPECT_EQ(platform::launchPriorityFor(accurate, false), c.launch);
        EXPECT_EQ(platform::planScheduling(rights, false).burnerRealtime, 0) << "the classic cycle stays on nice values";
        if (rights.realtimeStep) rights.realtimeStep->makeRealtime(42, accurate.burnerRealtime);
        EXPECT_EQ(serviceStep->raised.size(), std::string(c.name) == "service only" ? 1u : 0u);
        EXPECT_EQ(serviceStep->probes, std::string(c.realtimeBy ? c.realtimeBy : "") == "own" ? 0 : 1)
            << "a step below a real-time grant is not asked for real time";
        ladder.rights();
        EXPECT_LE(serviceStep->probes, 1) << "climbed once";
    }
}

TEST(RightsLadder, HoldingAgainstOtherSessionsAndWhereLaunchedProgramsGo) {
    platform::SchedulingPlan realtime{9, 10, true}, nice{0, 0, true}, none{0, 0, false};
    EXPECT_TRUE(platform::holdsAgainstOtherSessions(realtime, false, true));
    EXPECT_TRUE(platform::holdsAgainstOtherSessions(nice, true, true));
    EXPECT_FALSE(platform::holdsAgainstOtherSessions(nice, false, true)) << "a capability cannot raise the group";
    EXPECT_TRUE(platform::holdsAgainstOtherSessions(nice, false, false)) << "no groups: nice values hold";
    EXPECT_FALSE(platform::holdsAgainstOtherSessions(none, false, false));
    EXPECT_EQ(platform::launchPriorityFor(nice, true), LaunchPriority::OrdinaryOwnSession)
        << "never in the raised group";
    EXPECT_EQ(platform::launchPriorityFor(nice, false), LaunchPriority::Ordinary);
    EXPECT_EQ(platform::launchPriorityFor(none, false), LaunchPriority::Lowest);
}

// The system's own step, as root and as an ordinary user without limits.
TEST(RightsLadder, OwnRightsAreFoundByTryingAndLeaveNothingRaised) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to compare with an ordinary user";
    const auto probe = [](bool dropRights) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (dropRights && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
            auto step = platform::ownRightsStep();
            const Grant realtime = step->realtime(), nice = step->nice();
            if (sched_getscheduler(0) != SCHED_OTHER || getpriority(PRIO_PROCESS, 0) != 0) _exit(91);
            _exit((realtime.kind == GrantKind::RealTime ? 1 : 0) + (nice.kind == GrantKind::Nice ? 2 : 0) +
                  (realtime.level == sched_get_priority_max(SCHED_FIFO) ? 4 : 0));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(probe(false), 7) << "root: real time up to the highest priority, and nice values";
    EXPECT_EQ(probe(true), 0) << "an ordinary user without limits: nothing";
}

}  // namespace
