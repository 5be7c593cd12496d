// Lentora as root, as an ordinary user, and as an ordinary user whose copy of
// the program holds CAP_SYS_NICE: it works in every case, and it raises its
// priority exactly where the rights allow.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
    std::optional<bool> mainRaised;    // seen while the program ran
    std::optional<bool> burnersRaised;  // all working burners, seen in the window
    std::optional<std::string> store;
    bool childStarted = false;
};

// A short slowed-down launch that ends Lentora with it; a first start, so
// the benchmark is measured and stored by the user Lentora runs as.
Outcome runShortLaunch(const Sandbox& sandbox, const RunOptions& base) {
    RunOptions options = base;
    options.args = {"/SPEED=30", "/RUNFOR=1", "/CLOSE", sandbox.program.string()};
    options.childSleepMs = 3000;
    LentoraProcess lentora(sandbox, options);
    Outcome outcome;
    std::map<pid_t, char> launched;
    if (waitUntil(20s, [&] { return sandbox.childStarted(); })) {
        launched = lentora.children();
        outcome.mainRaised = lentora.threadRaised(lentora.pid());
        const auto atStart = lentora.workerCpu();
        std::map<pid_t, long> used;
        waitUntil(3s, [&] {
            used = cpuSince(atStart, lentora.workerCpu());
            return totalCpu(used) >= 100;
        });
        for (const auto& [tid, ms] : used)
            if (ms >= 50) outcome.burnersRaised = outcome.burnersRaised.value_or(true) && lentora.threadRaised(tid).value_or(false);
    }
    outcome.status = lentora.waitForExit(15s);
    reapAdopted(launched);  // the program outlives the watch
    outcome.store = sandbox.readStore();
    outcome.childStarted = sandbox.childStarted();
    return outcome;
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
}

TEST(SchedulingRights, WithoutRightsLentoraWorksAtNormalPriority) {
    if (geteuid() != 0 || !haveSetpriv()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    Sandbox sandbox;
    sandbox.handOverTo(kNobody, kNobody);
    const Outcome outcome = runShortLaunch(sandbox, {.wrapper = kAsNobody});
    expectWorked(outcome);
    EXPECT_EQ(outcome.mainRaised, false);
    EXPECT_EQ(outcome.burnersRaised, false);
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
