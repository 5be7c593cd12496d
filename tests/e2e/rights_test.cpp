// SPDX-License-Identifier: GPL-3.0-or-later
// Lentora as root, as an ordinary user, and as an ordinary user whose copy of
// the program holds CAP_SYS_NICE: it works in every case, and it raises its
// priority exactly where the rights allow.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "lentora_process.h"
#include "sandbox.h"
#include "test_paths.h"

using namespace std::chrono_literals;

namespace {

constexpr uid_t kNobody = 65534;

const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};

bool haveSetpriv() { return std::system("setpriv --version >/dev/null 2>&1") == 0; }

struct Outcome {
    std::optional<int> status;
    std::optional<bool> mainRaised;     // seen while the program ran
    std::optional<bool> burnersRaised;  // all working burners, seen in the window
    std::optional<long> mainPolicy;
    std::optional<long> burnerPolicy;  // -1: the working burners differ
    std::optional<std::string> store;
    bool childStarted = false;
    // The launched program as it ran: nice value, policy, whether it shared
    // Lentora's session, and its session group's nice value.
    std::optional<long> childNice, childPolicy;
    std::optional<bool> childInLentorasSession;
    std::optional<int> childGroupNice;
};

void readLaunched(const LentoraProcess& lentora, pid_t child, Outcome& outcome) {
    outcome.childNice = processStatField(child, 19);
    outcome.childPolicy = processStatField(child, 41);
    const auto session = processStatField(child, 6);
    if (session) outcome.childInLentorasSession = session == processStatField(lentora.pid(), 6);
    outcome.childGroupNice = autogroupNice(std::to_string(child));
}

// A short slowed-down launch that ends Lentora with it; a first start, so
// the benchmark is measured and stored by the user Lentora runs as. The
// slow-down lasts as long as the program (no run-for window that a busy
// machine could let pass before the test looks), and the test waits for
// each state it reads with a generous deadline.
Outcome runShortLaunch(const Sandbox& sandbox, const RunOptions& base) {
    RunOptions options = base;
    options.args = {"/SPEED=80", "/RUNFOR=0", "/CLOSE", sandbox.program.string()};
    options.childSleepMs = 4000;
    LentoraProcess lentora(sandbox, options);
    Outcome outcome;
    std::map<pid_t, char> launched;
    // The burners work from before the program starts (which, slowed down,
    // may take a while): count their time from Lentora's start.
    const auto atStart = lentora.workerCpu();
    if (waitFor([&] { return sandbox.childStarted(); }, 60s, 20ms)) {
        launched = lentora.children();
        if (launched.size() == 1) readLaunched(lentora, launched.begin()->first, outcome);
        outcome.mainRaised = lentora.threadRaised(lentora.pid());
        outcome.mainPolicy = processStatField(lentora.pid(), 41);
        std::map<pid_t, long> used;
        waitFor(
            [&] {
                used = cpuSince(atStart, lentora.workerCpu());
                return totalCpu(used) >= 100 || !lentora.running();
            },
            30s, 20ms);
        for (const auto& [tid, ms] : used) {
            if (ms < 30) continue;
            outcome.burnersRaised = outcome.burnersRaised.value_or(true) && lentora.threadRaised(tid).value_or(false);
            const long policy = processStatField(tid, 41).value_or(-1);
            outcome.burnerPolicy = outcome.burnerPolicy.value_or(policy) == policy ? policy : -1;
        }
    }
    outcome.status = lentora.waitForExit(30s);
    reapAdopted(launched);  // the program outlives the watch
    outcome.store = sandbox.readStore();
    outcome.childStarted = sandbox.childStarted();
    return outcome;
}

// An ordinary program: normal policy, the nice value Lentora started with
// (the test's own), never a raised session group.
void expectOrdinaryChild(const Outcome& outcome) {
    EXPECT_EQ(outcome.childNice, getpriority(PRIO_PROCESS, 0));
    EXPECT_EQ(outcome.childPolicy, SCHED_OTHER);
    EXPECT_GE(outcome.childGroupNice.value_or(0), 0);
}

void expectWorked(const Outcome& outcome) {
    EXPECT_TRUE(outcome.childStarted) << "the program was not started";
    ASSERT_TRUE(outcome.status) << "Lentora did not end after the watch";
    EXPECT_TRUE(WIFEXITED(*outcome.status) && WEXITSTATUS(*outcome.status) == 0) << *outcome.status;
    ASSERT_TRUE(outcome.store) << "no store was written";
    EXPECT_GT(storedBench(*outcome.store).value_or(0), 0) << *outcome.store;
}

}  // namespace

TEST(SchedulingRights, AsRootLentoraRaisesItsPriority) {
    if (geteuid() != 0) GTEST_SKIP() << "the tests do not run as root";
    Sandbox sandbox;
    const Outcome outcome = runShortLaunch(sandbox, {});
    expectWorked(outcome);
    EXPECT_EQ(outcome.mainRaised, true);
    EXPECT_EQ(outcome.burnersRaised, true);
    expectOrdinaryChild(outcome);
}

TEST(SchedulingRights, WithoutRightsLentoraWorksAtNormalPriority) {
    if (geteuid() != 0 || !haveSetpriv()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    Sandbox sandbox;
    sandbox.handOverTo(kNobody, kNobody);
    const Outcome outcome = runShortLaunch(sandbox, {.wrapper = kAsNobody});
    expectWorked(outcome);
    EXPECT_EQ(outcome.mainRaised, false);
    EXPECT_EQ(outcome.burnersRaised, false);
    // Below the burners, which may not rise above it, in Lentora's session.
    EXPECT_EQ(outcome.childNice, 19);
    EXPECT_EQ(outcome.childPolicy, SCHED_OTHER);
    EXPECT_EQ(outcome.childInLentorasSession, true);
}

TEST(SchedulingRights, CapSysNiceOnTheProgramGivesAnOrdinaryUserRaisedPriority) {
    if (geteuid() != 0 || !haveSetpriv()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    Sandbox sandbox;
    const std::filesystem::path copy = sandbox.root / "bin" / "lentora";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(lentoraBinaryPath(), copy);
    const std::string setcap = "setcap cap_sys_nice+ep '" + copy.string() + "' >/dev/null 2>&1";
    if (std::system(setcap.c_str()) != 0) GTEST_SKIP() << "setcap is missing or the file system refuses capabilities";
    sandbox.handOverTo(kNobody, kNobody);  // chown clears the capability: set it again
    if (std::system(setcap.c_str()) != 0) GTEST_SKIP() << "setcap failed after handing the files over";

    const Outcome outcome = runShortLaunch(sandbox, {.binary = copy.string(), .wrapper = kAsNobody});
    expectWorked(outcome);
    EXPECT_EQ(outcome.mainRaised, true);
    EXPECT_EQ(outcome.burnersRaised, true);
    expectOrdinaryChild(outcome);
}

// What a "nice -20" line in limits.conf gives the user's session.
TEST(SchedulingRights, NiceLimitGivesAnOrdinaryUserRaisedPriority) {
    if (geteuid() != 0 || !haveSetpriv()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    // Raising the limit needs CAP_SYS_RESOURCE, which containers often drop.
    if (std::system("prlimit --nice=40:40 true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "prlimit is missing or may not raise RLIMIT_NICE here";
    Sandbox sandbox;
    sandbox.handOverTo(kNobody, kNobody);
    std::vector<std::string> wrapper = {"prlimit", "--nice=40:40", "--"};
    wrapper.insert(wrapper.end(), kAsNobody.begin(), kAsNobody.end());

    const Outcome outcome = runShortLaunch(sandbox, {.wrapper = wrapper});
    expectWorked(outcome);
    EXPECT_EQ(outcome.mainRaised, true);
    EXPECT_EQ(outcome.burnersRaised, true);
}

// The classic engine raises the session's group (the test's own session
// here) while Lentora runs; whichever way Lentora ends, the group is back.
TEST(SchedulingRights, SessionGroupIsAsFoundAfterLentoraEnds) {
    if (geteuid() != 0) GTEST_SKIP() << "the tests do not run as root";
    const auto before = autogroupNice();
    if (!before) GTEST_SKIP() << "the kernel does not group by session";
    for (int wayOut : {0, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(wayOut);
        Sandbox sandbox;
        sandbox.writeStore(storeWithBench(100) + "\"accurate\"=dword:00000000\n");
        RunOptions options;
        options.args = {"/SPEED=30", "/RUNFOR=2", "/CLOSE", sandbox.program.string()};
        options.childSleepMs = 4000;
        options.ownSession = false;  // the group looked at is this test's
        LentoraProcess lentora(sandbox, options);
        std::map<pid_t, char> launched;
        ASSERT_TRUE(waitFor([&] { return sandbox.childStarted(); }, 20s, 20ms));
        launched = lentora.children();
        EXPECT_TRUE(waitFor([&] { return autogroupNice() == -10; }, 3s, 20ms)) << "raised while it runs";
        for (const auto& [child, state] : launched)
            EXPECT_EQ(autogroupNice(std::to_string(child)), 0) << "a launched program has a group of its own";
        if (wayOut != 0) lentora.signal(wayOut);
        ASSERT_TRUE(lentora.waitForExit(15s));
        reapAdopted(launched);
        EXPECT_EQ(autogroupNice(), before);
    }
}

// The desktop's real-time service on the private bus that CI starts
// (scripts/rtkit-services.sh), whose polkit rule authorises nobody but not
// daemon (uid 1): with no rights of its own, Lentora gets real time through
// it for the window's thread and the burners, or, refused, stays ordinary.
TEST(SchedulingRights, RealtimeKitGivesAnAuthorisedUserRealTime) {
    const char* bus = std::getenv("LENTORA_RTKIT_BUS");
    if (!bus || !*bus) GTEST_SKIP() << "the RealtimeKit services are not running (scripts/rtkit-services.sh start)";
    if (geteuid() != 0 || !haveSetpriv()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    for (const uid_t uid : {kNobody, uid_t{1}}) {
        Sandbox sandbox;
        sandbox.handOverTo(uid, uid);
        const std::string as = std::to_string(uid);
        const Outcome outcome =
            runShortLaunch(sandbox, {.wrapper = {"env", std::string("DBUS_SYSTEM_BUS_ADDRESS=") + bus, "setpriv",
                                                 "--reuid=" + as, "--regid=" + as, "--clear-groups", "--"}});
        expectWorked(outcome);
        const long policy = uid == kNobody ? SCHED_RR : SCHED_OTHER;
        EXPECT_EQ(outcome.mainPolicy, policy) << "uid " << uid;
        EXPECT_EQ(outcome.burnerPolicy, policy) << "uid " << uid;
    }
}
