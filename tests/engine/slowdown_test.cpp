// SPDX-License-Identifier: GPL-3.0-or-later
// The slow-down's rules without a window: the factor's range on every way
// in, the rights ladder's choice, the priorities, and what real time from the
// desktop's service changes.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "engine/slowdown.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_group_standing.h"
#include "fakes/fake_rights.h"
#include "fakes/fake_system.h"
#include "fakes/fake_user_registry.h"

using namespace engine;

namespace {
struct SlowDownRules : ::testing::Test {
    platform::FakeClock clock;
    platform::FakeSystemControl system;
    std::unique_ptr<platform::FakeUserRegistry> registry = platform::fakeUserRegistry();
    TSlowDown slowDown{system, *registry, clock};
};
}  // namespace

TEST_F(SlowDownRules, EveryWayInIsClampedAndTheTopFactorsRunTimeCritical) {
    slowDown.createBurner({0});
    using platform::ThreadPriority;
    const struct {
        int32_t asked, runs;
        ThreadPriority priority;
    } cases[] = {
        {-5, 0, ThreadPriority::AboveNormal},        {96, 96, ThreadPriority::AboveNormal},
        {97, 97, ThreadPriority::TimeCritical},      {100, 98, ThreadPriority::TimeCritical},
        {INT_MAX, 98, ThreadPriority::TimeCritical}, {INT_MIN, 0, ThreadPriority::AboveNormal},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(slowDown.SetFactor(c.asked), c.runs);
        EXPECT_EQ(slowDown.Burner().Priority(), c.priority) << c.asked;
        slowDown.restoreFactor(c.asked);  // the watcher's way in
        EXPECT_EQ(slowDown.Burner().Factor(), c.runs) << "restored " << c.asked;
    }
}

TEST_F(SlowDownRules, StartUpClassFollowsTheVersion) {
    for (int version : {4, 5}) {
        system.setMajorVersion(version);
        slowDown.applyStartupPriorities();
        EXPECT_EQ(system.priorityClasses().back(),
                  version < 5 ? platform::PriorityClass::Realtime : platform::PriorityClass::High);
        EXPECT_EQ(system.threadPriorities().back(), platform::ThreadPriority::TimeCritical);
    }
}

// Real time from the desktop's service is said, and the benchmark measures
// outside it (a second without sleeping would overrun its time limit).
TEST_F(SlowDownRules, RealtimeKitIsSaidAndTheBenchmarkRunsOutsideRealTime) {
    platform::FakeRightsStep service("RealtimeKit", {platform::GrantKind::RealTime, 20, {}});
    system.setRights({{platform::GrantKind::RealTime, 20, "RealtimeKit"}, {}, &service});
    slowDown.createBurner({0});
    EXPECT_EQ(slowDown.rightsNote(), "Real-time priority granted by RealtimeKit");
    const int window = system.threadRealtimes().back();
    ASSERT_GT(window, 0);
    clock.queueLocalTimes({{0, 0, 0, 0}, {0, 0, 0, 70}});
    EXPECT_TRUE(slowDown.measureBenchmark(1000));
    const auto realtimes = system.threadRealtimes();
    EXPECT_EQ(std::vector<int>(realtimes.end() - 2, realtimes.end()), (std::vector<int>{0, window}));
    EXPECT_EQ(slowDown.benchmarkTime(), 70);
}

// Where the desktop schedules by control group, Lentora's scope weighs more
// only while the burners run: raised before they resume, put back on every
// way they stop, the watcher's and the window's going included.
TEST(SlowDownGroupStanding, WeightRaisedOnlyWhileTheBurnersRun) {
    platform::FakeGroupedSystem system;
    const auto registry = platform::fakeUserRegistry();
    TSlowDown slowDown{system, *registry, platform::systemClock()};
    slowDown.applyStartupPriorities();
    slowDown.createBurner({0});
    slowDown.SetFactor(10);
    for (const auto stop : {&TSlowDown::Stop, &TSlowDown::suspendNow}) {
        ASSERT_TRUE(slowDown.Resume());
        EXPECT_TRUE(slowDown.groupFacts().weightRaised);
        ASSERT_TRUE((slowDown.*stop)());
        EXPECT_FALSE(slowDown.groupFacts().weightRaised);
    }
    ASSERT_TRUE(slowDown.Resume());
    slowDown.Release();     // the window goes while it runs
    slowDown.SetFactor(0);  // the burner's last cycle ends at once
    EXPECT_EQ(system.standing.calls, "prepare raise lower raise lower raise lower ");
}

// Burners that hold against other sessions leave them alone; without rights
// (the default fake grants nice values, and the session's group is not
// raised) the other sessions are lowered while the burners run, and put
// back whenever they stop and when the window goes. Where the kernel does
// not group by session, raised nice values hold against every program.
TEST_F(SlowDownRules, OtherSessionsAreLoweredOnlyWhileBurnersThatDoNotHoldRun) {  // label: timed
    const auto lowerings = [this] {
        std::string trace;
        for (const std::string& call : system.calls())
            if (call.rfind("lowerOtherSessions", 0) == 0) trace += call == "lowerOtherSessions(19)" ? "L" : "B";
        return trace;
    };
    system.setSessionAnswer(false);
    slowDown.createBurner({0});
    slowDown.SetFactor(50);
    EXPECT_TRUE(slowDown.Resume());
    EXPECT_TRUE(slowDown.suspendNow());
    EXPECT_TRUE(slowDown.Resume());
    EXPECT_TRUE(slowDown.Stop());
    slowDown.Release();
    EXPECT_EQ(lowerings(), "LBLBB");

    system.setSessionAnswer(true);
    slowDown.applyEngineMode(EngineMode::Classic);  // nice values, the group raised: holds
    EXPECT_TRUE(slowDown.Resume());
    EXPECT_TRUE(slowDown.Stop());
    EXPECT_EQ(lowerings(), "LBLBBB");

    // Real time without the group raised (RealtimeKit gives no nice values):
    // the backups' nice values hold the top of the range only inside the
    // session. With nice values too, the group is raised. (The ladder is
    // climbed once per slow-down.)
    platform::FakeRightsStep service("RealtimeKit", {platform::GrantKind::RealTime, 20, {}});
    for (const platform::Grant& nice : {platform::Grant{}, platform::Grant{platform::GrantKind::Nice, -20, "root"}}) {
        system.setRights({{platform::GrantKind::RealTime, 20, "RealtimeKit"}, nice, &service});
        TSlowDown withRights{system, *registry, clock};
        withRights.createBurner({0});
        EXPECT_TRUE(withRights.Resume());
        EXPECT_TRUE(withRights.Stop());
    }
    system.setSessionsGrouped(false);
    system.setRights({{}, {platform::GrantKind::Nice, -20, "root"}, nullptr});
    slowDown.applyEngineMode(EngineMode::Classic);
    EXPECT_TRUE(slowDown.Resume());
    EXPECT_TRUE(slowDown.Stop());
    EXPECT_EQ(lowerings(), "LBLBBBLBBB");
}

// The faults: a session root raised was lowered, and so was a root session
// holding one process of the user's ("sudo -u user cmd &").
TEST(OtherSessionsRule, OnlyAGroupWhollyTheUsersAndNotRaisedIsLowered) {
    const struct {
        platform::SessionFacts group;
        bool lowered;
    } cases[] = {{{3, 3, true, 0}, true},  {{3, 3, true, 5}, true},   {{3, 3, true, -5}, false},
                 {{3, 2, true, 0}, false}, {{3, 3, false, 0}, false}, {{0, 0, false, 0}, false}};
    for (const auto& c : cases) EXPECT_EQ(engine::whollyTheUsers(c.group), c.lowered) << c.group.usersOwn;
}

// An own step and a service below it (where a desktop service such as
// RealtimeKit goes): the first real-time grant wins, and its step raises threads.
TEST(RightsLadder, FirstRealTimeGrantWinsAndItsStepRaisesThreads) {
    using platform::FakeRightsStep;
    using platform::Grant;
    using platform::GrantKind;
    const Grant kNothing{}, kNice20{GrantKind::Nice, -20, {}};
    const platform::LaunchStanding kOrdinary{}, kLowest{.nice = kLowestStanding};
    struct Case {
        Grant ownRealtime, ownNice, serviceRealtime;
        std::string realtimeBy;
        int burner, window;               // accurate engine
        platform::LaunchStanding launch;  // accurate engine, session left alone
    };
    const Grant rt20{GrantKind::RealTime, 20, {}};
    for (const Case& c : {Case{{GrantKind::RealTime, 99, {}}, kNice20, rt20, "own", 9, 10, kOrdinary},
                          Case{kNothing, kNothing, rt20, "service", 9, 10, kOrdinary},
                          Case{{GrantKind::RealTime, 1, {}}, kNothing, kNothing, "own", 1, 1, kOrdinary},
                          Case{kNothing, kNice20, kNothing, "", 0, 0, kOrdinary},
                          Case{kNothing, kNothing, kNothing, "", 0, 0, kLowest}}) {
        SCOPED_TRACE(c.realtimeBy + " " + std::to_string(c.ownRealtime.level));
        FakeRightsStep own("own", c.ownRealtime, c.ownNice), service("service", c.serviceRealtime);
        RightsLadder ladder({&own, &service});
        const platform::Rights& rights = ladder.climb();
        EXPECT_EQ(rights.realtime.by, c.realtimeBy);
        const auto accurate = planScheduling(rights, true);
        EXPECT_EQ(accurate.burnerRealtime, c.burner);
        EXPECT_EQ(accurate.windowRealtime, c.window);
        EXPECT_TRUE(launchStandingFor(accurate, false) == c.launch);
        EXPECT_EQ(planScheduling(rights, false).burnerRealtime, 0) << "the classic cycle stays on nice values";
        if (rights.realtimeStep) rights.realtimeStep->makeRealtime(42, accurate.burnerRealtime);
        EXPECT_EQ(service.raised.size(), c.realtimeBy == "service" ? 1u : 0u);
        ladder.climb();
        EXPECT_EQ(service.probes, c.realtimeBy == "own" ? 0 : 1) << "asked once, and not below a grant";
    }
}
