// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's real-time service: what a missing or silent service costs,
// and the run-time limit it asks for. What the service grants is tested with
// the real service and the real program (tests/e2e/rights_test.cpp).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "fakes/fake_realtime_kit.h"
#include "platform/realtime_kit.h"
#include "platform/rights.h"
#include "temp_dir.h"

namespace {

// A bus of the test's own, with nothing on it. The daemon ends with the
// object, or with this process however it ends.
struct EmptyBus {
    TempDir dir{"bus"};
    std::string address;
    pid_t pid = -1;
    EmptyBus() {
        const std::string listen = "--address=unix:path=" + (dir / "bus").string();
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(fds[1], 1);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1", listen.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buffer[512];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        close(fds[0]);
        address = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
        address = address.substr(0, address.find('\n'));
    }
    ~EmptyBus() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// A socket that takes connections and never says a word.
struct SilentSocket {
    TempDir dir{"silent"};
    int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    SilentSocket() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, (dir / "bus").c_str(), sizeof address.sun_path - 1);
        if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(socket, 8) != 0)
            ADD_FAILURE() << "no listening socket";
    }
    ~SilentSocket() { close(socket); }
    std::string address() const { return "unix:path=" + (dir / "bus").string(); }
};

}  // namespace

// The fault: the limit covered each call but not the connection's set-up,
// which waited for as long as a silent bus kept the connection open. Each
// call gives up after kRealtimeKitTimeout; the bound leaves a busy machine
// room and still fails a wait for D-Bus's own 25 s.
TEST(RealtimeKitService, MissingOrSilentServiceIsNotGrantedPromptly) {
    if (std::system("dbus-daemon --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "dbus-daemon is not installed";
    EmptyBus empty;
    SilentSocket mute;
    for (const std::string& address : {std::string("unix:path=/nonexistent/bus"), empty.address, mute.address()}) {
        const auto start = std::chrono::steady_clock::now();
        const auto kit = platform::realtimeKitAt(address);
        EXPECT_FALSE(kit->limits()) << address;
        EXPECT_FALSE(kit->makeThreadRealtime(gettid(), 1)) << address;
        EXPECT_FALSE(kit->makeThreadHighPriority(gettid(), -1)) << address;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << address;
    }
}

// RLIMIT_RTTIME as the service asks for it: a real-time thread that runs
// past it without sleeping would end the whole program.
TEST(RealtimeRunTimeLimit, ThreadThatRunsTooLongIsDemotedNotKilled) {  // label: timed
    const pid_t pid = fork();
    if (pid == 0) {
        if (!platform::limitRealtimeRunTime(200000, 2)) _exit(3);
        const sched_param param{1};
        if (sched_setscheduler(0, SCHED_FIFO, &param) != 0) _exit(2);
        timespec start{}, now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        do clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        while ((now.tv_sec - start.tv_sec) * 1000000000L + now.tv_nsec - start.tv_nsec <
               400000000L);  // twice the limit
        _exit((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_OTHER ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no right to take a real-time policy";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

// A thread the service refuses real time still gets its high priority; a
// missing service grants nothing, nor does one whose run-time limit is too
// small to use (the fault: a limit of 1 µs was set, and every launched
// program kept RLIMIT_RTTIME at 1 µs). (Otherwise a limit far out, so that
// this process keeps its own RLIMIT_RTTIME in effect unlimited.)
TEST(RealtimeKitStep, ThreadRefusedRealTimeGetsHighPriority) {
    using Limits = std::optional<platform::RealtimeKitLimits>;
    for (const Limits limits : {Limits({20, -15, 1LL << 60}), Limits(), Limits({20, -15, 1})}) {
        auto owned = std::make_unique<platform::FakeRealtimeKit>();
        platform::FakeRealtimeKit& kit = *owned;
        kit.setLimits(limits);
        const auto step = platform::realtimeKitStep(std::move(owned), {.leastUsec = 50'000, .softDivisor = 2});
        const platform::Grant grant = step->realtime();
        const bool usable = limits && limits->rttimeUSecMax > 1;
        EXPECT_EQ(grant.kind, usable ? platform::GrantKind::RealTime : platform::GrantKind::Nothing);
        if (!usable) continue;
        EXPECT_EQ(grant.level, 20);
        kit.setGrants(false, true);
        EXPECT_FALSE(step->makeRealtime(4321, 9));
        const std::vector<std::string> requests = kit.requests();
        ASSERT_GE(requests.size(), 2u);
        EXPECT_EQ(std::vector(requests.end() - 2, requests.end()),
                  (std::vector<std::string>{"realtime(4321,9)", "high(4321,-15)"}));
    }
}
