// SPDX-License-Identifier: GPL-3.0-or-later
// Lentora's standing in its control group, in a process of its own, against the service manager
// on the bus given, driven by the words that follow: prepare, raise, lower; realtime (the rights'
// trial, then a thread made real-time and back); fifo (the main thread made real-time); spawn (a
// program started as launches are); hold (waits to be killed); kit=ADDRESS (RealtimeKit's limits
// asked on that bus). Each tells the cpu group it ends in (a program started from a thread begins
// in that thread's group); the facts come last, then the refusal of a weight, if any.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <string>
#include <thread>

#include "launch_priority.h"
#include "platform/group_standing.h"
#include "platform/realtime_kit.h"
#include "platform/rights.h"

namespace {
char sh[] = "sh", option[] = "-c", cpuGroup[] = "sed -n 's/^[0-9]*:cpu[:,][^/]*//p' /proc/self/cgroup";
char* argv[] = {sh, option, cpuGroup, nullptr};

void say(const char* what, bool done) {
    std::printf("%s=%d in ", what, done);
    std::system(cpuGroup);
}

void spawnProgram() {
    std::printf("spawned in ");
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    pid_t pid = -1;
    platform::launching::spawnAtLaunchPriority(
        attr, {}, [&] { return posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ); });
    if (pid > 0) waitpid(pid, nullptr, 0);
}
}  // namespace

int main(int argc, char** args) {
    const auto standing = platform::groupStandingAt(argc > 1 ? args[1] : "", true);
    const auto rights = platform::ownRightsStep();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 2; i < argc; ++i) {
        const std::string word = args[i];
        if (word == "prepare") standing->prepare();
        if (word == "raise") standing->raise(10000);  // as the slow-down asks
        if (word == "lower") standing->lower();
        if (word == "realtime") {
            say("granted", rights->realtime().kind == platform::GrantKind::RealTime);
            std::thread([&] {
                say("thread", rights->makeRealtime(gettid(), 5));
                say("back", rights->makeRealtime(gettid(), 0));
            }).join();
        }
        if (word == "fifo") say("fifo", rights->makeRealtime(0, 5));
        if (word == "spawn") spawnProgram();
        if (word == "hold") std::printf("holding\n"), pause();
        if (word.rfind("kit=", 0) == 0)
            std::printf("kit limits=%s\n", platform::realtimeKitAt(word.substr(4))->limits() ? "some" : "none");
    }
    const platform::GroupFacts facts = standing->facts();
    std::printf("pid=%d raised=%d refused by group=%d above=%d\n", getpid(), facts.weightRaised,
                facts.realtimeRefusedByGroup, facts.realtimeInAncestorGroup);
    if (!facts.weightRefusal.empty()) std::printf("refusal=%s\n", facts.weightRefusal.c_str());
}
