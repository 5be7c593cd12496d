// Lentora's standing in its control group, in a process of its own: against
// the service manager on the bus given, driven by the words that follow:
// prepare, raise, lower; realtime (the rights' real-time trial, then a thread
// made real-time and back, with the cpu group it was in each time); fifo (the
// main thread made real-time); spawn (a program started the way launches are,
// which says its cpu group); hold (says "holding" and waits to be killed).
// Ends by printing the facts.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "launch_priority.h"
#include "platform/group_standing.h"
#include "platform/rights.h"

namespace {

// The calling thread's group in the cpu hierarchy.
std::string cpuGroup() {
    std::ifstream file("/proc/thread-self/cgroup");
    for (std::string line; std::getline(file, line);)
        if (line.find(":cpu:") != std::string::npos || line.find(":cpu,") != std::string::npos)
            return line.substr(line.rfind(':') + 1);
    return "?";
}

void tryRealtime(platform::RightsStep& step) {
    std::printf("granted=%d\n", step.realtime().kind == platform::GrantKind::RealTime);
    std::thread([&] {
        const bool fifo = step.makeRealtime(gettid(), 5);
        std::printf("thread fifo=%d in %s\n", fifo, cpuGroup().c_str());
        const bool back = step.makeRealtime(gettid(), 0);
        std::printf("thread back=%d in %s\n", back, cpuGroup().c_str());
    }).join();
}

// A program that prints its cpu group, started the way launches are.
void spawnProgram() {
    std::fflush(stdout);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    pid_t pid = -1;
    char sh[] = "sh", script[] = "-c",
         line[] = "echo spawned in $(sed -n -e 's/^[0-9]*:cpu://p' -e 's/^[0-9]*:cpu,cpuacct://p' /proc/self/cgroup)";
    char* argv[] = {sh, script, line, nullptr};
    platform::launching::spawnAtLaunchPriority(
        attr, [&] { return posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ); });
    posix_spawnattr_destroy(&attr);
    if (pid > 0) waitpid(pid, nullptr, 0);
}

}  // namespace

// libdbus keeps some of a closed connection's memory until dbus_shutdown(),
// which Qt never calls.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const auto standing = platform::groupStandingAt(argv[1], true);
    const auto rights = platform::ownRightsStep();
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "prepare") standing->prepare();
        if (word == "raise") standing->raise();
        if (word == "lower") standing->lower();
        if (word == "realtime") tryRealtime(*rights);
        if (word == "fifo") {
            const bool fifo = rights->makeRealtime(0, 5);
            std::printf("main fifo=%d in %s\n", fifo, cpuGroup().c_str());
        }
        if (word == "spawn") spawnProgram();
        if (word == "hold") {
            std::printf("holding\n");
            std::fflush(stdout);
            pause();
        }
    }
    const platform::GroupFacts facts = standing->facts();
    std::printf("obtained=%d raised=%d refusal=%s\n", facts.weightObtained, facts.weightRaised,
                facts.weightRefusal.c_str());
    std::printf("realtime refused by group=%d above=%d\n", facts.realtimeRefusedByGroup, facts.realtimeInAncestorGroup);
    return 0;
}
