// SPDX-License-Identifier: GPL-3.0-or-later
// How the burners hold against a program of another cpu control group, as on
// a desktop that runs every application in a scope of its own. As root, on a
// kernel with a version 1 cpu hierarchy: the burners run in one sibling group
// and the victim (a busy loop at nice 0) in another, both made for the run
// with no real-time budget (as new groups get) and removed after. Per factor,
// the victim's work rate relative to its rate with the burners stopped (taken
// right before), in three configurations, each in a fresh process:
//   nice, equal weight: real time refused in the group, the burners at
//             raised nice values, the groups at equal weight (a desktop
//             before Lentora's scope had its weight raised);
//   nice, weight raised: the same with the burners' group weighing a hundred
//             times more (cpu.shares 102400, as CPUWeight 10000 to 100);
//   real time: root's real time, which the burner threads get in the group
//             above that has a budget.
// Options: --seconds=S per window (default 5), --factors=A,B,...
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/benchmark.h"
#include "engine/burner.h"
#include "engine/scheduling.h"
#include "must.h"
#include "platform/clock.h"
#include "platform/cpu_group.h"
#include "platform/thread.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace engine;

const fs::path kHierarchy = "/sys/fs/cgroup/cpu";
double seconds = 5;

void put(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

struct Group {
    fs::path dir;
    Group(const std::string& name, int shares) : dir(kHierarchy / (name + "-" + std::to_string(getpid()))) {
        fs::create_directory(dir);
        put(dir / "cpu.rt_runtime_us", "0");
        put(dir / "cpu.shares", std::to_string(shares));
    }
    void enter() const { platform::cpugroup::moveThread(gettid(), dir.string()); }
    ~Group() {
        for (int i = 0; i < 500 && rmdir(dir.c_str()) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
};

// Counts per second for `seconds`, in a process of its own inside the victim's group.
double victimRate(const Group& group) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        group.enter();
        setpriority(PRIO_PROCESS, 0, 0);
        uint64_t n = 0;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end)
            for (int i = 0; i < 10000; ++i) {
                ++n;
                asm volatile("" : "+r"(n));
            }
        const double rate = n / seconds;
        (void)!write(fds[1], &rate, sizeof rate);
        _exit(0);
    }
    close(fds[1]);
    double rate = 0;
    (void)!read(fds[0], &rate, sizeof rate);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return rate;
}

// One configuration in a fresh process (the rights ladder is climbed once per
// process): the burners as start-up makes them, inside their group.
void runConfiguration(const char* name, bool realtime, int shares, const std::vector<int>& factors) {
    std::printf("| %s |", name);
    std::fflush(stdout);
    // Made and removed here: the child ends with _exit.
    const Group burners("lentora-bench-burners", shares);
    const Group victim("lentora-bench-victim", 1024);
    const pid_t pid = fork();
    if (pid == 0) {
        burners.enter();
        platform::SystemControl& system = platform::systemControl();
        system.useClassNice(kClassNice);
        system.setProcessPriorityClass(platform::PriorityClass::High);
        system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
        std::atomic<int32_t> benchmarkTime{0};
        TGenerator generator;
        benchmarkTime = MeasureBench(platform::systemClock(), generator);
        TBurner burner(platform::systemClock(), benchmarkTime, system.allowedProcessors());
        RightsLadder ladder(system.rightsSteps(kRealtimeRunTime));
        applyScheduling(system, ladder.climb(), burner, EngineMode::Accurate, platform::PriorityClass::High, 0);
        if (!realtime) burner.SetRealtime(0);
        for (int f : factors) {
            const double base = victimRate(victim);
            burner.SetPriority(burnerPriorityFor(f));
            burner.SetFactor(f);
            must(burner.Resume());
            const double slowed = victimRate(victim);
            must(burner.Suspend());
            std::printf(" %.1f %% |", base > 0 ? 100 * slowed / base : 0.0);
            std::fflush(stdout);
        }
        burner.SetFactor(0);
        std::printf("\n");
        std::fflush(stdout);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
}

std::vector<int> parseFactors(const std::string& text) {
    std::vector<int> factors;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) factors.push_back(std::atoi(item.c_str()));
    return factors;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> factors{50, 90, 97};
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) seconds = std::atof(argv[i] + 10);
        if (std::strncmp(argv[i], "--factors=", 10) == 0) factors = parseFactors(argv[i] + 10);
    }
    if (geteuid() != 0 || !fs::exists(kHierarchy / "cpu.rt_runtime_us")) {
        std::fprintf(stderr, "Needs root and a cpu hierarchy with real-time group scheduling at %s.\n",
                     kHierarchy.c_str());
        return 1;
    }
    std::printf("Victim in another cpu group, %.1f s windows\n\n| burners |", seconds);
    for (int f : factors) std::printf(" %d (ideal %d %%) |", f, 100 - f);
    std::printf("\n|---|");
    for (std::size_t i = 0; i < factors.size(); ++i) std::printf("---:|");
    std::printf("\n");
    runConfiguration("nice, equal weight", false, 1024, factors);
    runConfiguration("nice, weight raised", false, 102400, factors);
    runConfiguration("real time", true, 1024, factors);
    return 0;
}
