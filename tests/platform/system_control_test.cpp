// SPDX-License-Identifier: GPL-3.0-or-later
// Version, processors and priorities of the real system. Priority changes
// run in child processes (in a session of their own, so the autogroup they
// raise is theirs), so this test process keeps its levels.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/thread.h"

namespace {

using platform::PriorityClass;
using platform::ThreadPriority;

int niceOf(pid_t tid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

// Runs check in a forked child; returns its exit code (0: all good, or the
// number of the failed step).
int inChild(const std::function<int()>& check) {
    const pid_t pid = fork();
    if (pid == 0) _exit(check());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A second thread that idles until released, to check that a process-wide
// setting reaches every thread.
class IdleThread {
public:
    IdleThread() : thread_([this] { run(); }) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return tid_ != 0; });
    }
    ~IdleThread() {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    pid_t tid() const { return tid_; }

private:
    void run() {
        std::unique_lock lock(mutex_);
        tid_ = gettid();
        changed_.notify_all();
        changed_.wait(lock, [this] { return release_; });
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    pid_t tid_ = 0;
    bool release_ = false;
    std::thread thread_;
};

// The nice value of this process's autogroup; 100 when there is none.
int autogroupNice() {
    std::ifstream file("/proc/self/autogroup");
    std::string name, word;
    int nice = 100;
    file >> name >> word >> nice;
    return word == "nice" ? nice : 100;
}

TEST(SystemControl, MajorVersionIsTheKernelReleaseMajor) {
    std::ifstream file("/proc/sys/kernel/osrelease");
    int major = 0;
    file >> major;
    ASSERT_GT(major, 0);
    EXPECT_EQ(platform::systemControl().majorVersion(), major);
}

TEST(SystemControl, AllowedProcessorsAreThoseTheKernelLists) {
    std::ifstream status("/proc/self/status");
    std::string line;
    std::set<int> listed;
    while (std::getline(status, line)) {
        if (line.rfind("Cpus_allowed_list:", 0) != 0) continue;
        std::istringstream ranges(line.substr(line.find(':') + 1));
        std::string range;
        while (std::getline(ranges, range, ',')) {
            const auto dash = range.find('-');
            const int first = std::stoi(range);
            const int last = dash == std::string::npos ? first : std::stoi(range.substr(dash + 1));
            for (int cpu = first; cpu <= last; ++cpu) listed.insert(cpu);
        }
    }
    const auto cpus = platform::systemControl().allowedProcessors();
    ASSERT_FALSE(cpus.empty());
    EXPECT_EQ(std::set<int>(cpus.begin(), cpus.end()), listed);
}

TEST(SystemControl, PriorityClassRaisesEveryThreadAndTheSessionGroupOnlyWhenAsked) {  // label: forks
    if (geteuid() != 0) GTEST_SKIP() << "needs root to raise priorities";
    const int result = inChild([] {
        if (setsid() < 0) return 1;
        IdleThread other;
        auto& control = platform::systemControl();
        control.useClassNice({.high = -10, .realtime = -20});
        if (!control.setProcessPriorityClass(PriorityClass::High)) return 2;
        if (niceOf(getpid()) != -10 || niceOf(other.tid()) != -10) return 3;
        const bool grouped = autogroupNice() != 100;
        if (grouped &&
            (autogroupNice() != 0 || !control.raiseSession(true, PriorityClass::High) || autogroupNice() != -10))
            return 4;
        if (!control.setCurrentThreadPriority(ThreadPriority::AboveNormal) || niceOf(0) != -11) return 5;
        if (!control.setCurrentThreadPriority(ThreadPriority::Normal) || niceOf(0) != -10) return 6;
        if (!control.setCurrentThreadPriority(ThreadPriority::TimeCritical) || niceOf(0) != -20) return 7;
        if (!control.setProcessPriorityClass(PriorityClass::Realtime) || niceOf(other.tid()) != -20) return 8;
        if (grouped && (!control.raiseSession(true, PriorityClass::Realtime) || autogroupNice() != -20)) return 9;
        if (control.raiseSession(false, PriorityClass::Realtime) || (grouped && autogroupNice() != 0)) return 10;
        return 0;
    });
    EXPECT_EQ(result, 0) << "failed step " << result;
}

// Drops to an ordinary user whose RLIMIT_NICE allows down to 20 - limit.
bool becomeOrdinaryUser(rlim_t niceLimit) {
    const rlimit limit{niceLimit, niceLimit};
    return setrlimit(RLIMIT_NICE, &limit) == 0 && setgroups(0, nullptr) == 0 && setgid(65534) == 0 &&
           setuid(65534) == 0;
}

class FlagThread : public platform::SuspendableThread {
public:
    ~FlagThread() override { terminateAndWait(); }
    std::atomic<int> nice{100};

protected:
    void Execute() override { nice.store(niceOf(0)); }
};

// Everything stays at the nice value found (the suite may run under nice).
TEST(SystemControl, WithoutRightsEverythingRunsAtNormalPriority) {  // label: forks
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop rights";
    const int result = inChild([] {
        const int found = niceOf(0);
        if (!becomeOrdinaryUser(0)) return 1;
        auto& control = platform::systemControl();
        control.useClassNice({.high = -10, .realtime = -20});
        if (control.setProcessPriorityClass(PriorityClass::High) || niceOf(0) != found) return 2;
        if (control.setCurrentThreadPriority(ThreadPriority::TimeCritical) || niceOf(0) != found) return 3;
        FlagThread thread;
        if (!thread.setPriority(ThreadPriority::TimeCritical)) return 4;  // not running yet: only stored
        EXPECT_TRUE(thread.resume());
        thread.terminateAndWait();
        if (thread.nice.load() != found) return 5;
        return 0;
    });
    EXPECT_EQ(result, 0) << "failed step " << result;
}

TEST(SystemControl, LimitedRightsGiveTheBestLevelAllowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop rights";
    constexpr int kCannotRaiseLimit = 77;
    const int result = inChild([] {
        if (!becomeOrdinaryUser(25))  // down to nice -5
            return errno == EPERM ? kCannotRaiseLimit : 1;
        auto& control = platform::systemControl();
        control.useClassNice({.high = -10, .realtime = -20});
        if (!control.setCurrentThreadPriority(ThreadPriority::TimeCritical) || niceOf(0) != -5) return 2;
        if (!control.setCurrentThreadPriority(ThreadPriority::AboveNormal) || niceOf(0) != -1) return 3;
        if (!control.setProcessPriorityClass(PriorityClass::High) || niceOf(getpid()) != -5) return 4;
        // Normal follows the level the process reached.
        FlagThread thread;
        EXPECT_TRUE(thread.resume());
        thread.terminateAndWait();
        if (thread.nice.load() != -5) return 5;
        return 0;
    });
    if (result == kCannotRaiseLimit)
        GTEST_SKIP() << "raising RLIMIT_NICE needs CAP_SYS_RESOURCE, which this system withholds";
    EXPECT_EQ(result, 0) << "failed step " << result;
}

}  // namespace
