// The process's cpu control group: found from the text of its own group and
// mount files (fixtures), and, as root, real-time group scheduling for real
// in sibling groups of the cpu hierarchy made for the test and removed after.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "file_text.h"
#include "platform/cpu_group.h"

namespace {

namespace fs = std::filesystem;
using platform::cpugroup::Hierarchy;
using platform::cpugroup::Place;

void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

}  // namespace

TEST(CpuGroupPlace, FoundFromTheGroupAndMountTexts) {
    const std::string v1Mounts =
        "32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw,relatime shared:9 - cgroup cgroup rw,cpu,cpuacct\n"
        "33 31 0:30 / /sys/fs/cgroup/cpuset rw,relatime - cgroup cgroup rw,cpuset\n";
    const std::string v2Mount = "40 1 0:25 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
    const struct {
        std::string groups, mounts;
        Hierarchy hierarchy;
        std::string path, directory;
    } cases[] = {
        // cpuacct, cpuset and a named hierarchy are not the cpu controller; a path may hold colons.
        {"3:cpuset:/x\n2:cpu,cpuacct:/user.slice/a:b\n1:name=systemd:/y\n0::/\n", v1Mounts, Hierarchy::V1,
         "/user.slice/a:b", "/sys/fs/cgroup/cpu,cpuacct/user.slice/a:b"},
        {"3:cpuacct:/x\n1:name=systemd:/y\n0::/app.slice/z.scope\n", v2Mount, Hierarchy::V2, "/app.slice/z.scope",
         "/sys/fs/cgroup/app.slice/z.scope"},
        {"0::/\n", v2Mount, Hierarchy::V2, "/", "/sys/fs/cgroup"},
        // A container sees its own part of the hierarchy mounted.
        {"1:cpu:/docker/abc/sub\n", "32 31 0:29 /docker/abc /sys/fs/cgroup/cpu ro - cgroup cgroup rw,cpu\n",
         Hierarchy::V1, "/docker/abc/sub", "/sys/fs/cgroup/cpu/sub"},
        {"0::/a\n", "", Hierarchy::V2, "/a", ""},
        {"nonsense\n\n::\n1:cpuacct\n", "x - y", Hierarchy::None, "", ""},
    };
    for (const auto& c : cases) {
        const Place place = platform::cpugroup::locate(c.groups, c.mounts);
        EXPECT_EQ(place.hierarchy, c.hierarchy) << c.groups;
        EXPECT_EQ(place.path, c.path) << c.groups;
        EXPECT_EQ(place.directory, c.directory) << c.groups;
    }
}

TEST(CpuGroupPlace, WeightedOnlyWhereTheCpuControllerRunsForAGroupBelowTheRoot) {
    char pattern[] = "/tmp/lentora-cgroup.XXXXXX";
    const fs::path root = mkdtemp(pattern);
    fs::create_directories(root / "app.slice" / "with.scope");
    fs::create_directories(root / "app.slice" / "without.scope");
    write(root / "cgroup.controllers", "cpuset cpu io memory pids\n");
    write(root / "app.slice" / "with.scope" / "cgroup.controllers", "cpuset cpu io memory pids\n");
    write(root / "app.slice" / "without.scope" / "cgroup.controllers", "cpuset io memory pids\n");
    const std::string mount = "40 1 0:25 / " + root.string() + " rw - cgroup2 cgroup2 rw\n";
    using platform::cpugroup::locate;
    using platform::cpugroup::weighted;
    EXPECT_TRUE(weighted(locate("0::/app.slice/with.scope\n", mount)));
    EXPECT_FALSE(weighted(locate("0::/app.slice/without.scope\n", mount)));
    EXPECT_FALSE(weighted(locate("0::/\n", mount)));                      // the root weighs against nobody
    EXPECT_FALSE(weighted(locate("0::/app.slice/gone.scope\n", mount)));  // nothing to read
    EXPECT_TRUE(weighted(locate("4:cpu:/desktop\n0::/\n", "")));
    EXPECT_FALSE(weighted(locate("4:cpu:/\n0::/app.slice/with.scope\n", mount)));
    fs::remove_all(root);
}

namespace {

const fs::path kCpuHierarchy = "/sys/fs/cgroup/cpu";

// A sibling group in the cpu hierarchy with the real-time budget given,
// removed after (once the processes in it are gone).
struct SiblingCpuGroup {
    fs::path dir;
    explicit SiblingCpuGroup(long long budget) {
        dir = kCpuHierarchy / ("lentora-test-" + std::to_string(getpid()));
        fs::create_directory(dir);
        write(dir / "cpu.rt_runtime_us", std::to_string(budget));
    }
    // rmdir is refused while a task is in the group; a killed one leaves it soon.
    bool remove() {
        if (!fs::exists(dir)) return true;
        for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (rmdir(dir.c_str()) == 0) return true;
        return false;
    }
    ~SiblingCpuGroup() { remove(); }
};

// The group child started inside group, with its output.
struct ChildInGroup {
    pid_t pid = -1;
    FILE* output = nullptr;
    ChildInGroup(const fs::path& group, std::vector<std::string> words) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            write(group / "tasks", std::to_string(getpid()));
            dup2(fds[1], 1);
            std::vector<char*> argv{const_cast<char*>(LENTORA_GROUP_CHILD_PATH), const_cast<char*>("unix:path=/none")};
            for (auto& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        output = fdopen(fds[0], "r");
    }
    std::string line() {
        char text[512] = {};
        return output && std::fgets(text, sizeof text, output) ? std::string(text) : std::string();
    }
    ~ChildInGroup() {
        if (output) std::fclose(output);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
};

bool realtimeGroupScheduling() { return fs::exists(kCpuHierarchy / "cpu.rt_runtime_us"); }

}  // namespace

// Real time is refused in a group without budget, to root too; root gets it
// in the group above, for the trial and for a burner's thread, which goes
// back into Lentora's group with the normal policy.
TEST(RealtimeGroupScheduling, RootGetsRealTimeAboveAGroupWithoutBudgetAndSaysSo) {
    if (geteuid() != 0) GTEST_SKIP() << "making cpu groups needs root";
    if (!realtimeGroupScheduling()) GTEST_SKIP() << "no cpu hierarchy with real-time group scheduling";
    SiblingCpuGroup group(0);
    const std::string name = "/" + group.dir.filename().string();
    {
        ChildInGroup lentora(group.dir, {"realtime"});
        EXPECT_EQ(lentora.line(), "granted=1\n");
        EXPECT_EQ(lentora.line(), "thread fifo=1 in /\n");
        EXPECT_EQ(lentora.line(), "thread back=1 in " + name + "\n");
        EXPECT_EQ(lentora.line(), "obtained=0 raised=0 refusal=\n");
        EXPECT_EQ(lentora.line(), "realtime refused by group=0 above=1\n");
    }
    EXPECT_TRUE(group.remove());
}

// Nothing of a killed Lentora stays: its real-time threads end with it, the
// group it ran in empties, and no budget was changed anywhere.
TEST(RealtimeGroupScheduling, NothingStaysAfterAKillInTheMiddle) {
    if (geteuid() != 0) GTEST_SKIP() << "making cpu groups needs root";
    if (!realtimeGroupScheduling()) GTEST_SKIP() << "no cpu hierarchy with real-time group scheduling";
    const std::string rootBudget = slurp(kCpuHierarchy / "cpu.rt_runtime_us");
    SiblingCpuGroup group(0);
    const std::string name = "/" + group.dir.filename().string();
    {
        ChildInGroup lentora(group.dir, {"fifo", "spawn", "hold"});
        EXPECT_EQ(lentora.line(), "main fifo=1 in /\n");
        // Regression: a program launched by the real-time window's thread
        // started in the group above, beside the burners instead of below them.
        EXPECT_EQ(lentora.line(), "spawned in " + name + "\n");
        EXPECT_EQ(lentora.line(), "holding\n");
        kill(lentora.pid, SIGKILL);
    }
    EXPECT_TRUE(group.remove());
    EXPECT_EQ(slurp(kCpuHierarchy / "cpu.rt_runtime_us"), rootBudget);
}
