// The desktop's real-time service run for real on a private system bus
// (scripts/rtkit-services.sh; CI starts it): what an ordinary user gets,
// what the service refuses, and what a missing or silent service costs.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/realtime_kit.h"

// libdbus keeps some of a closed connection's memory until dbus_shutdown(),
// which Qt never calls; the sanitizer build would report it as ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

// A bus of the test's own, with nothing on it; ended with the object.
struct EmptyBus {
    std::filesystem::path dir;
    std::string address;
    pid_t pid = 0;
    EmptyBus() {
        char pattern[] = "/tmp/lentora-bus.XXXXXX";
        dir = mkdtemp(pattern);
        const std::string out = commandOutput("dbus-daemon --session --fork --print-address=1 --print-pid=1 --address=unix:path=" +
                                              (dir / "bus").string());
        address = out.substr(0, out.find('\n'));
        pid = std::atoi(out.substr(out.find('\n') + 1).c_str());
    }
    ~EmptyBus() {
        if (pid > 0) kill(pid, SIGTERM);
        std::filesystem::remove_all(dir);
    }
};

}  // namespace

TEST(RealtimeKitService, GrantsWhatThePolicyAndTheLimitAllow) {
    const char* bus = std::getenv("LENTORA_RTKIT_BUS");
    if (!bus || !*bus) GTEST_SKIP() << "the RealtimeKit services are not running (scripts/rtkit-services.sh start)";
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the probe as other users";
    // The service sets SCHED_RESET_ON_FORK with every grant: children start ordinary.
    const std::string rr = std::to_string(SCHED_RR | SCHED_RESET_ON_FORK);
    const std::string other = std::to_string(SCHED_OTHER | SCHED_RESET_ON_FORK);
    struct Case {
        int uid;
        bool limit;
        std::string answers;
    } cases[] = {
        {65534, true, "high 1 -15\nrealtime 1 " + rr + " 20\n"},
        {65534, false, "high 1 -15\nrealtime 0 " + other + " 0\n"},  // no RLIMIT_RTTIME: real time refused
        {1, true, "high 0 0\nrealtime 0 0 0\n"},         // polkit does not authorise this user
    };
    for (const Case& c : cases) {
        const std::string as = std::to_string(c.uid);
        const std::string out = commandOutput("setpriv --reuid=" + as + " --regid=" + as + " --clear-groups " +
                                              LENTORA_RTKIT_PROBE_PATH + " '" + bus + "'" + (c.limit ? " limit" : ""));
        EXPECT_EQ(out, "limits 20 -15 200000\n" + c.answers) << "uid " << c.uid << (c.limit ? " with" : " without") << " the limit";
    }
}

TEST(RealtimeKitService, MissingOrSilentServiceIsNotGrantedWithinASecond) {
    if (std::system("dbus-daemon --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "dbus-daemon is not installed";
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    EmptyBus empty;
    EmptyBus silent;
    // Owns the name, but the object's thread (this one) handles no calls
    // while the client waits for its answer.
    QObject deaf;
    QDBusConnection owner = QDBusConnection::connectToBus(QString::fromStdString(silent.address), "owner");
    ASSERT_TRUE(owner.registerObject("/org/freedesktop/RealtimeKit1", &deaf, QDBusConnection::ExportAllContents));
    ASSERT_TRUE(owner.registerService("org.freedesktop.RealtimeKit1"));
    for (const std::string& address : {std::string("unix:path=/nonexistent/bus"), empty.address, silent.address}) {
        const auto start = std::chrono::steady_clock::now();
        const auto kit = platform::realtimeKitAt(address);
        EXPECT_FALSE(kit->limits()) << address;
        EXPECT_FALSE(kit->makeThreadRealtime(gettid(), 1)) << address;
        EXPECT_FALSE(kit->makeThreadHighPriority(gettid(), -1)) << address;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << address;
    }
    QDBusConnection::disconnectFromBus("owner");
}

// RLIMIT_RTTIME as the service asks for it: a real-time thread that runs
// past it without sleeping would end the whole program.
TEST(RealtimeRunTimeLimit, ThreadThatRunsTooLongIsDemotedNotKilled) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!platform::limitRealtimeRunTime(200000)) _exit(3);
        const sched_param param{1};
        if (sched_setscheduler(0, SCHED_FIFO, &param) != 0) _exit(2);
        timespec start{}, now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        do clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        while ((now.tv_sec - start.tv_sec) * 1000000000L + now.tv_nsec - start.tv_nsec < 400000000L);  // twice the limit
        _exit((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_OTHER ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no right to take a real-time policy";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}
