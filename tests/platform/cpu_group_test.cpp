// SPDX-License-Identifier: GPL-3.0-or-later
// The process's cpu control group: found from the text of its own group and
// mount files (fixtures), and, as root, real-time group scheduling for real
// in a sibling group of the cpu hierarchy made for the test and removed after.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "file_text.h"
#include "platform/cpu_group.h"
#include "shell_output.h"
#include "temp_dir.h"
#include "wait_for.h"

namespace {
namespace fs = std::filesystem;
using platform::cpugroup::Hierarchy;
using platform::cpugroup::locate;
}  // namespace

// The group that holds the cpu controller, where it is, and whether it weighs
// against its siblings (v2: "cpu" among the group's controllers).
TEST(CpuGroupPlace, FoundFromTheGroupAndMountTexts) {
    const TempDir rootDir("cgroup");
    const fs::path& root = rootDir.path();
    fs::create_directories(root / "with.scope");
    fs::create_directories(root / "without.scope");
    std::ofstream(root / "with.scope" / "cgroup.controllers") << "cpuset cpu io memory pids\n";
    std::ofstream(root / "without.scope" / "cgroup.controllers") << "cpuset io memory pids\n";
    const std::string v2 = "40 1 0:25 / " + root.string() + " rw,nosuid shared:4 - cgroup2 cgroup2 rw\n";
    const std::string v1 = "32 31 0:29 / /c/cpu,cpuacct rw shared:9 - cgroup cgroup rw,cpu,cpuacct\n" + v2;
    const struct {
        std::string groups, mounts;
        Hierarchy hierarchy;
        std::string path, directory;
        bool weighted;
    } cases[] = {
        // cpuacct, cpuset and a named hierarchy are not the cpu controller; a path may hold colons.
        {"3:cpuset:/x\n2:cpu,cpuacct:/u/a:b\n1:name=systemd:/y\n0::/\n", v1, Hierarchy::V1, "/u/a:b",
         "/c/cpu,cpuacct/u/a:b", true},
        {"1:cpu:/\n0::/with.scope\n", v1, Hierarchy::V1, "/", "/c/cpu,cpuacct", false},
        {"3:cpuacct:/x\n0::/with.scope\n", v2, Hierarchy::V2, "/with.scope", root.string() + "/with.scope", true},
        {"0::/without.scope\n", v2, Hierarchy::V2, "/without.scope", root.string() + "/without.scope", false},
        {"0::/\n", v2, Hierarchy::V2, "/", root.string(), false},  // the root weighs against nobody
        // A container sees its own part of the hierarchy mounted.
        {"1:cpu:/docker/abc/sub\n", "1 2 0:9 /docker/abc /c ro - cgroup cgroup rw,cpu\n", Hierarchy::V1,
         "/docker/abc/sub", "/c/sub", true},
        {"nonsense\n\n::\n1:cpuacct\n", "x - y", Hierarchy::None, "", "", false},
    };
    for (const auto& c : cases) {
        const auto place = locate(c.groups, c.mounts);
        EXPECT_EQ(place.hierarchy, c.hierarchy) << c.groups;
        EXPECT_EQ(place.path, c.path) << c.groups;
        EXPECT_EQ(place.directory, c.directory) << c.groups;
        EXPECT_EQ(platform::cpugroup::weighted(place), c.weighted) << c.groups;
    }
}

// Real time is refused in a group without budget, to root too; root gets it
// in the group above for the rights' trial and a burner's thread, which goes
// back with the normal policy. Nothing stays after a kill: the group empties
// and no budget was changed anywhere.
TEST(RealtimeGroupScheduling, RootGetsRealTimeAboveAGroupWithoutBudgetAndLeavesNothing) {
    const fs::path hierarchy = "/sys/fs/cgroup/cpu";
    if (geteuid() != 0) GTEST_SKIP() << "making cpu groups needs root";
    if (!fs::exists(hierarchy / "cpu.rt_runtime_us")) GTEST_SKIP() << "no real-time group scheduling at " << hierarchy;
    const std::string budget = slurp(hierarchy / "cpu.rt_runtime_us");
    const std::string name = "/lentora-test-" + std::to_string(getpid());
    ASSERT_TRUE(fs::create_directory(hierarchy.string() + name));
    std::ofstream(hierarchy.string() + name + "/cpu.rt_runtime_us") << "0";
    const std::string inGroup =
        "echo $$ > " + hierarchy.string() + name + "/tasks; exec " LENTORA_GROUP_CHILD_PATH " x ";
    EXPECT_EQ(shellOutput("sh -c '" + inGroup + "realtime' | sed 's/^pid=.* raised=0 //'"),
              "granted=1 in " + name + "\nthread=1 in /\nback=1 in " + name + "\nrefused by group=0 above=1\n");
    // Regression: a program launched by the real-time window's thread
    // started in the group above, beside the burners instead of below them.
    const TempDir held("held");
    const std::string out = (held / "out").string();
    EXPECT_EQ(shellOutput("sh -c '" + inGroup + "fifo spawn hold' >" + out + " & until grep -q holding " + out +
                          "; do sleep 0.02; done; kill -9 $!; cat " + out),
              "fifo=1 in /\nspawned in " + name + "\nholding\n");
    // The group empties once the killed child's threads are gone.
    EXPECT_TRUE(waitFor(
        [&] {
            std::error_code busy;
            return fs::remove(hierarchy.string() + name, busy);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(20)));
    EXPECT_EQ(slurp(hierarchy / "cpu.rt_runtime_us"), budget);
}

// Fault: an ordinary user with no real-time rights (ulimit -r 0) was told
// that the kernel refuses real time in Lentora's control group: the EPERM
// of a missing right was taken for the group's. Only a process whose own
// rights allow the priority can be refused by its group.
TEST(RealtimeGroupScheduling, RightsDecideWhetherTheGroupIsWhy) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to compare with and without rights";
    EXPECT_TRUE(platform::cpugroup::rightsAllowRealtime(99));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit none{0, 0};
        // Leaving root drops every capability; the limit is then the ceiling.
        const bool dropped = setrlimit(RLIMIT_RTPRIO, &none) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        _exit(!dropped ? 2 : platform::cpugroup::rightsAllowRealtime(1) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
