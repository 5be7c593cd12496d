// How well the burners slow the machine down, and how promptly they stop.
//
// Prints, in one run:
//  1. suspend latency over 1000 suspend/resume cycles of a busy burner, and
//     the processor time a suspended burner uses over 5 seconds;
//  2. the slow-down curve: the work rate of a CPU-bound victim process (normal
//     priority, its own session, as a program started from the desktop),
//     pinned to a burner's processor and free to run anywhere, relative to its
//     rate with the burners stopped, next to the speed the window shows.
// Run as root, it measures the curve a second time with the burners in an
// unprivileged process, as users run Lentora.
//
// Options: --seconds=S per measurement (default 2), --quick (fewer factors),
//          --accurate (use the accurate engine mode),
//          --realtime-class (the process class the design picks for old systems:
//          nice -20 instead of -10 for the process and its autogroup).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "engine/benchmark.h"
#include "engine/burner.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace {
using Clock = std::chrono::steady_clock;

double seconds = 2.0;
bool accurate = false;
// The process class the burners run in: High is what Lentora asks for on Linux.
platform::PriorityClass processClass = platform::PriorityClass::High;

double threadCpuSeconds(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", tid);
    FILE* f = std::fopen(path, "r");
    if (!f) return -1;
    char buf[1024];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

void suspendLatency(TBurner& burner) {
    burner.SetFactor(50);
    burner.SetPriority(burnerPriorityFor(50));
    std::vector<double> us;
    for (int i = 0; i < 1000; ++i) {
        burner.Resume();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        const auto t0 = Clock::now();
        burner.Suspend();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("Suspend latency over 1000 cycles (%zu burners): median %.1f us, p99 %.1f us, max %.1f us\n",
                burner.size(), us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    double before = 0, after = 0;
    for (size_t i = 0; i < burner.size(); ++i) before += threadCpuSeconds(burner.thread(i).threadId());
    std::this_thread::sleep_for(std::chrono::seconds(5));
    for (size_t i = 0; i < burner.size(); ++i) after += threadCpuSeconds(burner.thread(i).threadId());
    std::printf("Processor time used by the suspended burners over 5 s: %.3f s\n", after - before);
}

// A CPU-bound program in its own session, counting for `seconds`; returns its count.
double victimRate(bool pinned) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setsid();
        setpriority(PRIO_PROCESS, 0, 0);
        if (pinned) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(0, &set);
            sched_setaffinity(0, sizeof set, &set);
        }
        uint64_t count = 0;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            for (int i = 0; i < 10000; ++i) {
                ++count;
                asm volatile("" : "+r"(count));
            }
        }
        const double rate = count / seconds;
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

void curve(TBurner& burner, const std::vector<int>& factors, const char* title) {
    std::printf("\n%s\n", title);
    std::printf("| factor | window shows | victim pinned to a burner's processor | victim free to run anywhere |\n");
    std::printf("|---:|---:|---:|---:|\n");
    for (int f : factors) {
        // The reference rates are taken right before each factor, so that a
        // change in the machine's other load spoils one row, not the table.
        const double basePinned = victimRate(true);
        const double baseFree = victimRate(false);
        burner.SetPriority(burnerPriorityFor(f));
        burner.SetFactor(f);
        burner.Resume();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const double pinned = victimRate(true);
        const double free = victimRate(false);
        burner.Suspend();
        std::printf("| %d | %d %% | %.1f %% | %.1f %% |\n", f, 100 - f, 100 * pinned / basePinned,
                    100 * free / baseFree);
        std::fflush(stdout);
    }
}

void measureCurve(const std::vector<int>& factors, const char* title) {
    platform::SystemControl& system = platform::systemControl();
    system.setProcessPriorityClass(processClass);
    system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    TGenerator generator;
    std::atomic<int32_t> benchmarkTime{MeasureBench(platform::systemClock(), generator)};
    std::printf("\nBenchmark time: %d ms\n", benchmarkTime.load());
    TBurner burner(platform::systemClock(), benchmarkTime, system.allowedProcessors());
    if (accurate) burner.SetMode(EngineMode::Accurate);
    curve(burner, factors, title);
}
}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) seconds = std::atof(argv[i] + 10);
        if (std::strcmp(argv[i], "--quick") == 0) quick = true;
        if (std::strcmp(argv[i], "--accurate") == 0) accurate = true;
        if (std::strcmp(argv[i], "--realtime-class") == 0) processClass = platform::PriorityClass::Realtime;
    }
    const std::vector<int> factors = quick ? std::vector<int>{0, 50, 90, 98}
                                           : std::vector<int>{0, 10, 25, 50, 75, 90, 95, 96, 97, 98};
    std::printf("Engine: %s; process class %s; %ld processors; %.1f s per measurement\n",
                accurate ? "accurate" : "classic",
                processClass == platform::PriorityClass::High ? "high" : "realtime", sysconf(_SC_NPROCESSORS_ONLN),
                seconds);
    const bool root = geteuid() == 0;
    if (root) {
        // First, before this process raises any priority: as a desktop user
        // runs it, with no rights beyond the default limits.
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            setgroups(0, nullptr);
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
            measureCurve(factors, "Slow-down curve, burners in an unprivileged process (uid 65534):");
            std::fflush(stdout);
            _exit(0);
        }
        waitpid(pid, nullptr, 0);
    }
    measureCurve(factors, root ? "Slow-down curve, burners with root's scheduling rights:"
                               : "Slow-down curve, burners without special rights:");
    std::printf("\n");
    std::atomic<int32_t> benchmarkTime{500};
    TBurner burner(platform::systemClock(), benchmarkTime, platform::systemControl().allowedProcessors());
    if (accurate) burner.SetMode(EngineMode::Accurate);
    suspendLatency(burner);
    burner.SetFactor(0);
    return 0;
}
