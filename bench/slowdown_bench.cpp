// SPDX-License-Identifier: GPL-3.0-or-later
// How well the burners slow the machine down, and how promptly they stop.
//
// Run as root without options, it measures every configuration, each in a
// fresh session of its own (setsid, so no scheduling group is carried over):
//   root with both engines; root with Lentora and the other programs each in
//   a cpu control group of its own, as desktops that schedule by group run
//   every application; an ordinary user (uid 65534) with a copy of this
//   program that holds cap_sys_nice, with no rights at all (alone and in cpu
//   groups), and, when LENTORA_RTKIT_BUS names the private bus of
//   scripts/rtkit-services.sh, with the desktop's real-time service; each
//   with the default engine (the classic one at fewer factors).
// Each configuration starts its burners exactly as Lentora does (start-up
// priorities, then the rights ladder's plan for the engine) and prints, per
// factor, the work rate of CPU-bound victims relative to their rate with the
// burners stopped (taken right before each, so a change in the machine's
// other load spoils one cell, not the table), over windows of 5 seconds:
// longer than the kernel's real-time period (one second), whose throttling
// a shorter window can miss. The victims, one at a time:
//   launched: started through Lentora's launch path (the process starter and
//             the watcher the launch box uses), which also switches the
//             burners on and off around it;
//   pinned / free: a program of another session at nice 0, pinned to a
//             burner's processor or free to run anywhere;
//   busy threads: a program of another session with a busy thread per processor;
//   sysbench: `sysbench cpu`, a third-party program, in another session.
// The last column is the largest 100 ms slice any of the own victims got:
// a game feels a burst of full speed even where the window's average is right.
// Not root, it measures the one configuration it runs in.
//
// Options: --seconds=S per window (default 5), --quick (fewer factors),
//          --data=FILE (the figures as tab-separated lines for the plot),
//          --latency (suspend latency of the burners, at the end), --rtprio
//          (also an ordinary user with RLIMIT_RTPRIO, which fares as the
//          capability does), --realtime-classic (as root: how an ordinary
//          program fares with real-time burners in each engine at factor
//          98; nothing else), --profile=F (as the user it runs as: the 100 ms
//          slices of a launched and a free victim at factor F; nothing else),
//          --only=TEXT (the configurations whose name holds TEXT),
//          --factors=F,G,... (these factors instead: to repeat a doubtful cell).
// Inner modes (used by the program itself): --run=NAME --engine=E
//          --victim-binary=PATH --dir=DIR [--victim-group=DIR]; --victim=S --out=FILE.
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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
#include "launch/watcher.h"
#include "must.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"

using namespace engine;
using launch::LaunchRequest;
using launch::LaunchTiming;
using launch::waitforapplication;
using launch::WatchHost;

namespace {
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double seconds = 5;
bool quick = false;
bool rtprioToo = false;  // also measure RLIMIT_RTPRIO, which works as the capability does
std::string only;        // the configurations whose name holds it; all when empty
std::string factorList;  // "F,G,...": these factors instead of the table's

std::string option(int argc, char** argv, const char* name) {
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0 && argv[i][n] == '=') return argv[i] + n + 1;
    return {};
}

bool flag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return true;
    return false;
}

std::vector<int> factors() {
    if (!factorList.empty()) {
        std::vector<int> list;
        std::istringstream in(factorList);
        for (std::string f; std::getline(in, f, ',');) list.push_back(std::clamp(std::atoi(f.c_str()), 0, 100));
        return list;
    }
    return quick ? std::vector<int>{0, 50, 90, 96, 97, 98} : std::vector<int>{0, 10, 25, 50, 75, 90, 95, 96, 97, 98};
}

// ---- the victims -------------------------------------------------------------

// What a victim got: its work rate over the whole window and per 100 ms
// slice, in counts per second. A game feels a burst of one slice even where
// the window's average looks right.
struct Rates {
    double total = 0;
    std::vector<double> slices;
};

constexpr auto kSlice = std::chrono::milliseconds(100);

// One counter per thread, each on its own cache line.
struct alignas(64) Counter {
    std::atomic<uint64_t> n{0};
};

// Counts with `threads` busy threads for `duration` seconds; this thread
// reads their sum every 100 ms.
Rates count(double duration, int threads = 1) {
    std::vector<Counter> counters(threads);
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            uint64_t n = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                for (int i = 0; i < 10000; ++i) {
                    ++n;
                    asm volatile("" : "+r"(n));
                }
                counters[t].n.store(n, std::memory_order_relaxed);
            }
        });
    auto sum = [&] {
        uint64_t total = 0;
        for (auto& c : counters) total += c.n.load(std::memory_order_relaxed);
        return total;
    };
    Rates rates;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(duration));
    uint64_t last = 0;
    auto lastTime = start;
    for (auto next = start + kSlice; next <= end; next += kSlice) {
        std::this_thread::sleep_until(next);
        // Divided by the time that really passed: this thread too may wake
        // late when the burners hold the processors.
        const auto now = Clock::now();
        // A sampler that woke very late finds the next moments already past:
        // a slice of a few microseconds would weigh one counter step as a
        // burst. It joins the next slice instead.
        if (now - lastTime < kSlice / 2) continue;
        const uint64_t counted = sum();
        rates.slices.push_back((counted - last) / std::chrono::duration<double>(now - lastTime).count());
        last = counted;
        lastTime = now;
    }
    std::this_thread::sleep_until(end);
    const uint64_t total = sum();
    stop = true;
    for (auto& w : workers) w.join();
    rates.total = total / duration;
    return rates;
}

void writeRates(std::ostream& out, const Rates& rates) {
    out << rates.total;
    for (double s : rates.slices) out << ' ' << s;
    out << '\n';
}

Rates readRates(std::istream& in) {
    Rates rates;
    in >> rates.total;
    for (double s; in >> s;) rates.slices.push_back(s);
    return rates;
}

// The cpu control group that victims of "another group" join (empty: none).
std::string victimGroup;
// Where Lentora lowers the user's other sessions while the burners run, the
// other-session victims (the same user's) start lowered, as a program the
// user started before the slow-down would be.
bool lowerVictims = false;

void lowerOwnSession() {
    std::ofstream autogroup("/proc/self/autogroup");
    autogroup << 19;
}

// Moves the calling process into a cpu control group (its tasks file).
bool joinGroup(const std::string& group) {
    std::ofstream tasks(group + "/cgroup.procs");
    tasks << getpid() << std::endl;
    return static_cast<bool>(tasks);
}

// sysbench's CPU test, a third-party program: events per second.
Rates sysbenchRate(double duration) {
    const std::string command =
        "sysbench cpu --threads=1 --time=" + std::to_string(std::max(1, static_cast<int>(duration + 0.5))) + " run";
    Rates rates;
    if (FILE* out = popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, out))
            if (const char* at = std::strstr(line, "events per second:")) rates.total = std::atof(at + 18);
        pclose(out);
    }
    return rates;
}

enum class Victim { Pinned, Free, Threads, Sysbench };

// A program of another session at nice 0, as one started from the desktop
// (in another cpu control group where the configuration puts programs in
// groups of their own).
Rates otherSessionRate(Victim kind, double duration) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setsid();
        if (lowerVictims) lowerOwnSession();
        if (!victimGroup.empty()) joinGroup(victimGroup);
        const sched_param normal{};
        sched_setscheduler(0, SCHED_OTHER, &normal);
        setpriority(PRIO_PROCESS, 0, 0);
        if (kind == Victim::Pinned) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(0, &set);
            sched_setaffinity(0, sizeof set, &set);
        }
        const int threads = kind == Victim::Threads ? static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)) : 1;
        const Rates rates = kind == Victim::Sysbench ? sysbenchRate(duration) : count(duration, threads);
        std::ostringstream text;
        writeRates(text, rates);
        (void)!write(fds[1], text.str().data(), text.str().size());
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    std::istringstream in(text);
    return readRates(in);
}

// The window's side of a watch: the burners stop when the watch ends.
class BenchHost : public WatchHost {
public:
    explicit BenchHost(TBurner& burner) : burner_(burner) {}
    void setProgress(int) override {}
    void enableTicker() override {}
    void disableTicker() override {}
    void deactivateTrayIcon() override {}
    void repaintAndUpdateSpeedLabels() override {}
    platform::Result<> resumeBurnerFromWatcher() override { return burner_.Resume(); }
    void reportResumeFailure(launch::ProgramFate, const std::string&) override {}
    void stopSlowDownFromWatcher(int32_t) override { must(burner_.Suspend()); }
    void restoreFactor(int32_t factor) override { burner_.SetFactor(factor); }
    void reportStartFailure(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }

private:
    TBurner& burner_;
};

struct LaunchPath {
    std::string victimBinary;
    std::string dir;
};

// The victim started as the launch box starts a program at this factor: the
// watcher switches the burners on, starts it, and switches them off when it ends.
Rates launchedRate(TBurner& burner, const LaunchPath& path, int factor, double duration) {
    static int run = 0;
    const std::string out = path.dir + "/rate-" + std::to_string(getpid()) + "-" + std::to_string(++run);
    BenchHost host(burner);
    LaunchTiming timing;
    burner.SetPriority(burnerPriorityFor(factor));
    burner.SetFactor(factor);
    LaunchRequest request;
    request.command = {path.victimBinary + " --victim=" + std::to_string(duration) + " --out=" + out};
    request.savedFactor = factor;
    waitforapplication watcher(std::move(request), timing, host, platform::processStarter());
    must(watcher.resume());
    const auto deadline = Clock::now() + std::chrono::duration<double>(duration * 10 + 10);
    while (!watcher.finished() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(out);
    Rates rates = readRates(in);
    fs::remove(out);
    return rates;
}

// ---- one configuration ---------------------------------------------------------

// The baseline (burners stopped) is taken right before each window, so a
// change in the machine's other load spoils one cell, not the table.
constexpr double kBaselineSeconds = 1.0;

double ratio(double value, double base) { return base > 0 ? 100 * value / base : 0.0; }

// The victim's share in its window, and its largest 100 ms slice, both
// relative to its rate with the burners stopped.
struct Share {
    double window = 0;
    double peak = 0;
};

Share share(const Rates& running, const Rates& stopped) {
    Share s{ratio(running.total, stopped.total), 0};
    // The first and last slices hold the start and end of the victim.
    for (size_t i = 1; i + 1 < running.slices.size(); ++i)
        s.peak = std::max(s.peak, ratio(running.slices[i], stopped.total));
    return s;
}

const char* grantText(const platform::Grant& grant) {
    static char text[96];
    switch (grant.kind) {
    case platform::GrantKind::RealTime:
        std::snprintf(text, sizeof text, "real time up to %d (%s)", grant.level, grant.by.c_str());
        break;
    case platform::GrantKind::Nice:
        std::snprintf(text, sizeof text, "nice down to %d (%s)", grant.level, grant.by.c_str());
        break;
    case platform::GrantKind::Nothing:
        std::snprintf(text, sizeof text, "nothing");
        break;
    }
    return text;
}

const char* launchText(const platform::LaunchStanding& standing) {
    if (standing.nice) return "lowest priority, in Lentora's session";
    return standing.ownSession ? "ordinary, in a session of their own" : "ordinary, in Lentora's session";
}

// The rights ladder's choice on this machine, climbed once.
const platform::Rights& machineRights(platform::SystemControl& system) {
    static RightsLadder ladder(system.rightsSteps(kRealtimeRunTime));
    return ladder.climb();
}

void describe(const SlowDownPolicy& outcome, platform::SystemControl& system) {
    const platform::Rights& rights = machineRights(system);
    std::printf("Rights: real time: %s; ", grantText(rights.realtime));
    std::printf("nice: %s.\n", grantText(rights.nice));
    if (outcome.plan.burnerRealtime > 0)
        std::printf("Burners real-time %d, window's thread real-time %d", outcome.plan.burnerRealtime,
                    outcome.plan.windowRealtime);
    else
        std::printf("Burners on nice values (%s)", outcome.plan.niceRaised ? "raised" : "not raised");
    std::printf("; session's group %s; launched programs %s; %s%s.\n\n",
                outcome.sessionRaised ? "raised" : "not raised", launchText(outcome.launch),
                outcome.holdsOtherSessions ? "holds against other sessions" : "does not hold against other sessions",
                lowerVictims ? "; other sessions lowered" : "");
}

// The burners as start-up makes them: the process raised, the calling
// (window's) thread time critical, the benchmark measured, then the burners.
struct StartedBurners {
    platform::SystemControl& system = platform::systemControl();
    std::atomic<int32_t> benchmarkTime{0};
    std::unique_ptr<TBurner> burner;

    StartedBurners() {
        system.useClassNice(kClassNice);
        system.setProcessPriorityClass(platform::PriorityClass::High);
        system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
        TGenerator generator;
        benchmarkTime = MeasureBench(platform::systemClock(), generator);
        burner = std::make_unique<TBurner>(platform::systemClock(), benchmarkTime, system.allowedProcessors());
    }
};

// One row's victims, in table order.
struct Row {
    Share launched, pinned, free, threads, sysbench;
    double peak() const { return std::max({launched.peak, pinned.peak, free.peak, threads.peak}); }
};

// Each victim alone, first with the burners stopped, then running at f.
Row measureRow(TBurner& burner, const LaunchPath& path, int f) {
    Row row;
    row.launched = share(launchedRate(burner, path, f, seconds), launchedRate(burner, path, 0, kBaselineSeconds));
    const std::pair<Victim, Share*> others[] = {{Victim::Pinned, &row.pinned},
                                                {Victim::Free, &row.free},
                                                {Victim::Threads, &row.threads},
                                                {Victim::Sysbench, &row.sysbench}};
    for (auto [kind, cell] : others) {
        const Rates stopped = otherSessionRate(kind, kBaselineSeconds);
        burner.SetPriority(burnerPriorityFor(f));
        burner.SetFactor(f);
        must(burner.Resume());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        *cell = share(otherSessionRate(kind, seconds), stopped);
        must(burner.Suspend());
    }
    return row;
}

void runConfiguration(const std::string& name, EngineMode mode, const LaunchPath& path) {
    StartedBurners started;
    platform::SystemControl& system = started.system;
    TBurner& burner = *started.burner;
    const SlowDownPolicy outcome =
        applyScheduling(system, machineRights(system), burner, mode, platform::PriorityClass::High, 0);
    lowerVictims = outcome.lowerOtherSessions && system.sessionsGrouped() && victimGroup.empty();
    const char* engine = mode == EngineMode::Accurate ? "accurate" : "classic";
    std::printf("### %s, %s engine\n\n", name.c_str(), engine);
    describe(outcome, system);
    std::printf(
        "| factor | ideal | launched | other session, pinned | other session, free | %ld busy threads | "
        "sysbench | largest 100 ms |\n",
        sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int f : factors()) {
        const Row r = measureRow(burner, path, f);
        std::printf("| %d | %d %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% | %.1f %% |\n", f, 100 - f,
                    r.launched.window, r.pinned.window, r.free.window, r.threads.window, r.sysbench.window, r.peak());
        std::fprintf(stderr, "DATA\t%s, %s\t%d\t%d\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\n", name.c_str(), engine, f,
                     100 - f, r.launched.window, r.pinned.window, r.free.window, r.threads.window, r.sysbench.window,
                     r.peak());
        std::fflush(stdout);
    }
    std::printf("\n");
    burner.SetFactor(0);
}

// The 100 ms slices of a launched and a free victim and of one with a busy
// thread per processor at one factor, for a look at the shape of a second.
void profile(const LaunchPath& path, int f) {
    StartedBurners started;
    TBurner& burner = *started.burner;
    describe(applyScheduling(started.system, machineRights(started.system), burner, EngineMode::Accurate,
                             platform::PriorityClass::High, f),
             started.system);
    const Rates launchedStopped = launchedRate(burner, path, 0, kBaselineSeconds);
    const Rates launched = launchedRate(burner, path, f, seconds);
    std::vector<std::pair<const char*, Share>> rows = {{"launched", share(launched, launchedStopped)}};
    std::vector<Rates> slices = {launched};
    for (auto [kind, name] : {std::pair{Victim::Free, "free"}, std::pair{Victim::Threads, "busy threads"}}) {
        const Rates stopped = otherSessionRate(kind, kBaselineSeconds);
        burner.SetPriority(burnerPriorityFor(f));
        burner.SetFactor(f);
        must(burner.Resume());
        const Rates running = otherSessionRate(kind, seconds);
        must(burner.Suspend());
        rows.push_back({name, share(running, stopped)});
        for (double& v : slices.emplace_back(running).slices) v = ratio(v, stopped.total);
    }
    for (double& v : slices.front().slices) v = ratio(v, launchedStopped.total);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::printf("%s: %.1f %% over the window, largest slice %.1f %%\n  ", rows[i].first, rows[i].second.window,
                    rows[i].second.peak);
        for (double v : slices[i].slices) std::printf("%.0f ", v);
        std::printf("\n");
    }
}

// ---- suspend latency -------------------------------------------------------------

// With the priorities Lentora takes: the suspending thread is the window's.
void suspendLatency() {
    platform::SystemControl& system = platform::systemControl();
    system.useClassNice(kClassNice);
    system.setProcessPriorityClass(platform::PriorityClass::High);
    system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    std::atomic<int32_t> benchmarkTime{500};
    TBurner burner(platform::systemClock(), benchmarkTime, system.allowedProcessors());
    applyScheduling(system, machineRights(system), burner, EngineMode::Accurate, platform::PriorityClass::High, 50);
    burner.SetFactor(50);
    burner.SetPriority(burnerPriorityFor(50));
    std::vector<double> us;
    for (int i = 0; i < 1000; ++i) {
        must(burner.Resume());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        const auto t0 = Clock::now();
        must(burner.Suspend());
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("Suspend latency over 1000 cycles (%zu burners): median %.1f us, p99 %.1f us, max %.1f us\n\n",
                burner.size(), us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    burner.SetFactor(0);
}

// ---- real time and the classic cycle ---------------------------------------------

// How late an ordinary program (nice 0, its own session) wakes from 1 ms
// sleeps over `duration` seconds; returns the worst and the 99th percentile in ms.
std::pair<double, double> wakeUpLateness(double duration) {
    int fds[2];
    if (pipe(fds) != 0) return {0, 0};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setsid();
        const sched_param normal{};
        sched_setscheduler(0, SCHED_OTHER, &normal);
        setpriority(PRIO_PROCESS, 0, 0);
        std::vector<double> late;
        const auto end = Clock::now() + std::chrono::duration<double>(duration);
        while (Clock::now() < end) {
            const auto t0 = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            late.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count() - 1);
        }
        std::sort(late.begin(), late.end());
        const double result[2] = {late.back(), late[late.size() * 99 / 100]};
        (void)!write(fds[1], result, sizeof result);
        _exit(0);
    }
    close(fds[1]);
    double result[2] = {0, 0};
    (void)!read(fds[0], result, sizeof result);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return {result[0], result[1]};
}

// Both engines at factor 98 with real-time burners (root only): the accurate
// cycle sleeps every 10 ms, the classic heavy cycle counts for seconds.
void realtimeClassicCheck() {
    StartedBurners started;
    platform::SystemControl& system = started.system;
    TBurner& burner = *started.burner;
    applyScheduling(system, machineRights(system), burner, EngineMode::Accurate, platform::PriorityClass::High, 98);
    std::printf("An ordinary program's wake-up from 1 ms sleeps, burners at factor 98 under SCHED_FIFO %d:\n\n",
                burner.Realtime());
    std::printf("| engine | worst lateness | 99th percentile |\n|---|---:|---:|\n");
    for (EngineMode mode : {EngineMode::Accurate, EngineMode::Classic}) {
        burner.SetMode(mode);  // the real-time policy stays, whatever the engine
        burner.SetFactor(98);
        must(burner.Resume());
        const auto [worst, p99] = wakeUpLateness(6.0);
        must(burner.Suspend());
        std::printf("| %s | %.1f ms | %.1f ms |\n", mode == EngineMode::Accurate ? "accurate" : "classic", worst, p99);
    }
    std::printf("\n");
    burner.SetFactor(0);
}

// ---- the driver ------------------------------------------------------------------

struct Configuration {
    std::string name;
    std::string engine;
    std::vector<std::string> wrapper;  // before the program
    bool capability = false;           // the program copy holds cap_sys_nice
    const char* check = nullptr;       // a command that must work first
    bool groups = false;               // Lentora and the other programs each in a cpu group of their own
    bool quick = false;                // fewer factors
};

const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};

std::vector<Configuration> configurations() {
    std::vector<std::string> rtprio = {"prlimit", "--rtprio=20:20", "--"};
    rtprio.insert(rtprio.end(), kAsNobody.begin(), kAsNobody.end());
    std::vector<Configuration> list = {
        {"root", "classic", {}, false, nullptr, false, true},
        {"root", "accurate", {}, false},
        {"root, cpu groups", "accurate", {}, false, nullptr, true},
        {"uid 65534, setcap cap_sys_nice+ep", "accurate", kAsNobody, true},
        {"uid 65534, no rights", "accurate", kAsNobody, false},
        {"uid 65534, no rights, cpu groups", "accurate", kAsNobody, false, nullptr, true},
    };
    if (rtprioToo)
        list.insert(list.begin() + 4, {"uid 65534, RLIMIT_RTPRIO 20", "accurate", rtprio, false,
                                       "prlimit --rtprio=20:20 true 2>/dev/null"});
    // The desktop's real-time service, on the private bus that
    // scripts/rtkit-services.sh starts (its polkit rule authorises uid 65534).
    if (const char* bus = std::getenv("LENTORA_RTKIT_BUS"); bus && *bus) {
        std::vector<std::string> kit = {"env", std::string("DBUS_SYSTEM_BUS_ADDRESS=") + bus};
        kit.insert(kit.end(), kAsNobody.begin(), kAsNobody.end());
        list.push_back({"uid 65534, RealtimeKit", "accurate", kit, false});
    }
    return list;
}

// Two sibling cpu control groups, as a desktop that schedules by group gives
// every application: one for the configuration (Lentora), one for the other
// programs. Both may be joined by uid 65534. Removed by the destructor.
struct CpuGroups {
    std::string lentora, others;

    CpuGroups() {
        std::string root = "/sys/fs/cgroup/cpu";
        if (!fs::exists(root + "/cgroup.procs")) root = "/sys/fs/cgroup";  // the unified hierarchy
        for (auto* name : {&lentora, &others}) {
            *name = root + (name == &lentora ? "/lentora-bench-app" : "/lentora-bench-others");
            fs::create_directory(*name);
            for (const char* file : {"/cgroup.procs", "/tasks"})
                if (chown((*name + file).c_str(), 65534, 65534) != 0 && std::strcmp(file, "/tasks") != 0) *name = "";
        }
    }
    ~CpuGroups() {
        for (const std::string& name : {lentora, others})
            if (!name.empty()) rmdir(name.c_str());
    }
    bool ready() const { return !lentora.empty() && !others.empty(); }
};

// Runs one configuration in a new session; its figure lines go to `data`.
void runInFreshSession(const Configuration& config, const std::string& program, const LaunchPath& path, FILE* data,
                       const CpuGroups* groups) {
    std::vector<std::string> args = config.wrapper;
    args.insert(args.end(),
                {program, "--run=" + config.name, "--engine=" + config.engine, "--victim-binary=" + path.victimBinary,
                 "--dir=" + path.dir, "--seconds=" + std::to_string(seconds)});
    if (quick || config.quick) args.push_back("--quick");
    if (!factorList.empty()) args.push_back("--factors=" + factorList);
    if (groups) args.push_back("--victim-group=" + groups->others);
    int fds[2];
    if (pipe(fds) != 0) return;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 2);
        setsid();
        if (groups) joinGroup(groups->lentora);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    FILE* lines = fdopen(fds[0], "r");
    char line[512];
    while (std::fgets(line, sizeof line, lines)) {
        if (std::strncmp(line, "DATA\t", 5) == 0) {
            if (data) std::fputs(line + 5, data);
        } else {
            std::fputs(line, stderr);
        }
    }
    std::fclose(lines);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("(%s, %s engine: the run failed, status %d)\n\n", config.name.c_str(), config.engine.c_str(),
                    status);
}

std::string copyProgram(const std::string& self, const std::string& dir, const char* name) {
    const std::string copy = dir + "/" + name;
    fs::copy_file(self, copy, fs::copy_options::overwrite_existing);
    chmod(copy.c_str(), 0755);
    return copy;
}

int drive(const std::string& self, const std::string& dataFile, bool latency) {
    char pattern[] = "/tmp/lentora-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    chmod(dir.c_str(), 0777);  // the ordinary user's runs write their figures here
    const LaunchPath path{copyProgram(self, dir, "victim"), dir};
    const std::string plain = copyProgram(self, dir, "slowdown_bench");
    const std::string capable = copyProgram(self, dir, "slowdown_bench_cap");
    const bool setcap = std::system(("setcap cap_sys_nice+ep " + capable + " 2>/dev/null").c_str()) == 0;
    FILE* data = dataFile.empty() ? nullptr : std::fopen(dataFile.c_str(), "w");
    if (data) std::fprintf(data, "# configuration\tfactor\tideal\tlaunched\tpinned\tfree\tthreads\tsysbench\tpeak\n");
    std::unique_ptr<CpuGroups> groups;
    std::printf("%ld processors; %.1f s per measurement; sched_rt_runtime_us %s\n\n", sysconf(_SC_NPROCESSORS_ONLN),
                seconds, [] {
                    static char text[32] = "?";
                    if (FILE* f = std::fopen("/proc/sys/kernel/sched_rt_runtime_us", "r")) {
                        if (!std::fgets(text, sizeof text, f)) text[0] = 0;
                        text[std::strcspn(text, "\n")] = 0;
                        std::fclose(f);
                    }
                    return text;
                }());
    int matched = 0;
    for (const Configuration& config : configurations()) {
        if (config.name.find(only) == std::string::npos) continue;
        ++matched;
        if (config.capability && !setcap) {
            std::printf("(%s: setcap is missing or refused here)\n\n", config.name.c_str());
            continue;
        }
        if (config.check && std::system(config.check) != 0) {
            std::printf("(%s: not measured, `%s` is refused here)\n\n", config.name.c_str(), config.check);
            continue;
        }
        if (config.groups && !groups) groups = std::make_unique<CpuGroups>();
        if (config.groups && !groups->ready()) {
            std::printf("(%s: no cpu control groups can be made here)\n\n", config.name.c_str());
            continue;
        }
        runInFreshSession(config, config.capability ? capable : plain, path, data,
                          config.groups ? groups.get() : nullptr);
    }
    // A misspelt --only would otherwise end in silence, as if nothing stood out.
    if (matched == 0) std::printf("(no configuration's name holds \"%s\")\n\n", only.c_str());
    if (data) std::fclose(data);
    if (latency) suspendLatency();
    fs::remove_all(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::string s = option(argc, argv, "--seconds"); !s.empty()) seconds = std::atof(s.c_str());
    quick = flag(argc, argv, "--quick");
    rtprioToo = flag(argc, argv, "--rtprio");
    only = option(argc, argv, "--only");
    factorList = option(argc, argv, "--factors");
    victimGroup = option(argc, argv, "--victim-group");
    if (const std::string victim = option(argc, argv, "--victim"); !victim.empty()) {
        std::ofstream out(option(argc, argv, "--out"));
        writeRates(out, count(std::atof(victim.c_str())));
        return 0;
    }
    if (const std::string name = option(argc, argv, "--run"); !name.empty()) {
        const EngineMode mode =
            option(argc, argv, "--engine") == "classic" ? EngineMode::Classic : EngineMode::Accurate;
        runConfiguration(name, mode, {option(argc, argv, "--victim-binary"), option(argc, argv, "--dir")});
        return 0;
    }
    if (const std::string f = option(argc, argv, "--profile"); !f.empty()) {
        char pattern[] = "/tmp/lentora-bench-XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        profile({fs::canonical("/proc/self/exe").string(), pattern}, std::atoi(f.c_str()));
        fs::remove_all(pattern);
        return 0;
    }
    if (flag(argc, argv, "--realtime-classic")) {
        realtimeClassicCheck();
        return 0;
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    if (geteuid() == 0) return drive(self, option(argc, argv, "--data"), flag(argc, argv, "--latency"));
    // Not root: this user's own configuration, in the session it runs in.
    char pattern[] = "/tmp/lentora-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    runConfiguration("this user", EngineMode::Accurate, {self, pattern});
    fs::remove_all(pattern);
    if (flag(argc, argv, "--latency")) suspendLatency();
    return 0;
}
