// SPDX-License-Identifier: GPL-3.0-or-later
// Long runs of what the program does over and over, checking that nothing
// wears out:
//  1. 10,000 suspend/resume cycles of the burners (one per allowed
//     processor) with a factor change between each; suspension strikes at
//     arbitrary points of the cycle. At the end every burner is stopped, uses
//     no processor time, and the factor is the one last set.
//  2. 200 watches in a row of short-lived children, paced by a ticker thread
//     as the window's timer paces them: no zombie, no leaked descriptor,
//     memory flat.
// Exits with 1 when a check fails. Options: --cycles=N, --watches=N.
#include <dirent.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "cpu_time.h"
#include "engine/burner.h"
#include "engine/slowdown_policy.h"
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
using namespace std::chrono_literals;

bool allPassed = true;

void report(bool ok, const char* what) {
    std::printf("  %-58s %s\n", what, ok ? "ok" : "FAILED");
    allPassed = allPassed && ok;
}

long burnerCpuMs(TBurner& burner) {
    long total = 0;
    for (size_t i = 0; i < burner.size(); ++i) total += threadCpuMs(burner.thread(i).threadId());
    return total;
}

bool allStopped(TBurner& burner) {
    for (size_t i = 0; i < burner.size(); ++i)
        if (!burner.thread(i).isStopped()) return false;
    return true;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Suspends at a random moment after each resume: before the thread ran,
// inside a busy loop, inside a sleep. The factor changes between cycles as
// the track bar changes it: priority first, then the factor.
void suspendResumeSoak(int cycles) {
    std::printf("Suspend/resume soak: %d cycles\n", cycles);
    std::atomic<int32_t> benchmark{400};
    TBurner burner(platform::systemClock(), benchmark, platform::systemControl().allowedProcessors());
    std::mt19937 random(12345);
    std::vector<double> suspendUs;
    int notStopped = 0, wrongCount = 0;
    int32_t lastFactor = 0;
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        must(burner.Resume());
        const auto runFor = std::chrono::microseconds(random() % 300);
        for (const auto until = Clock::now() + runFor; Clock::now() < until;) {}
        const auto t0 = Clock::now();
        must(burner.Suspend());
        suspendUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!allStopped(burner)) ++notStopped;
        if (burner.suspendCount() != 1) ++wrongCount;
        lastFactor = int32_t(random() % 99);
        burner.SetPriority(burnerPriorityFor(lastFactor));
        burner.SetFactor(lastFactor);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(50ms);  // processor time is counted in ticks
    const long before = burnerCpuMs(burner);
    std::this_thread::sleep_for(200ms);
    const long growth = burnerCpuMs(burner) - before;

    std::printf("  burners: %zu, run time %.1f s, burner processor time %ld ms\n", burner.size(), seconds, before);
    std::printf("  suspend call: median %.0f us, 99th percentile %.0f us, max %.0f us\n", percentile(suspendUs, 0.5),
                percentile(suspendUs, 0.99), percentile(suspendUs, 1.0));
    std::printf("  suspends not yet stopped on return: %d; wrong suspend counts: %d\n", notStopped, wrongCount);
    std::printf("  processor time of the suspended burners over 200 ms: %ld ms\n", growth);
    report(allStopped(burner), "every burner stopped at the end");
    report(wrongCount == 0 && burner.suspendCount() == 1, "suspend count 1 after every cycle");
    report(growth <= 10, "no processor time while suspended (<= 10 ms in 200 ms)");
    report(burner.Factor() == lastFactor, "factor as last set");
    bool everyThread = true;
    for (size_t i = 0; i < burner.size(); ++i) everyThread = everyThread && burner.thread(i).factor == lastFactor;
    report(everyThread, "every burner holds that factor");
    burner.SetFactor(0);  // the destructor lets each thread end its cycle
}

// The window's side of a watch, recording what the watcher asked for.
class RecordingHost : public WatchHost {
public:
    explicit RecordingHost(TBurner& burner) : burner_(burner) {}
    void setProgress(int) override { ++progress; }
    void enableTicker() override { ++enables; }
    void disableTicker() override { ++disables; }
    void deactivateTrayIcon() override {}
    void repaintAndUpdateSpeedLabels() override {}
    platform::Result<> resumeBurnerFromWatcher() override { return burner_.Resume(); }
    void reportResumeFailure(launch::ProgramFate, const std::string&) override {}
    void stopSlowDownFromWatcher(int32_t) override {
        must(burner_.Suspend());
        ++stops;
    }
    void restoreFactor(int32_t factor) override { burner_.SetFactor(factor); }
    void reportStartFailure(const std::string&) override {}
    std::atomic<int> progress{0}, enables{0}, disables{0}, stops{0};

private:
    TBurner& burner_;
};

int countDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n - 1;  // the one opendir holds
}

long vmRssKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Children of this process, and how many of them are zombies.
std::pair<int, int> children() {
    int all = 0, zombies = 0;
    DIR* d = opendir("/proc");
    if (!d) return {-1, -1};
    const pid_t self = getpid();
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(in, line) || line.rfind(')') == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        std::sscanf(line.c_str() + line.rfind(')') + 2, "%c %d", &state, &ppid);
        if (ppid != self) continue;
        ++all;
        if (state == 'Z') ++zombies;
    }
    closedir(d);
    return {all, zombies};
}

// One watch: wait and run-for vary so that every path through the watcher
// is taken; children are /bin/true or a short sleep.
struct Ticked {
    std::mutex mutex;  // held while a tick is delivered
    waitforapplication* current = nullptr;
    void set(waitforapplication* w) {
        std::lock_guard lock(mutex);
        current = w;
    }
};

bool watchOnce(int i, RecordingHost& host, TBurner& burner, LaunchTiming& timing, Ticked& ticked) {
    static const char* const commands[] = {"/bin/true", "/bin/sleep 0.02", "/bin/true --ignored", "/bin/sleep 0.05"};
    timing.waitSeconds = i % 3 == 1 ? 1 : 0;
    timing.runForSeconds = i % 3 == 2 ? 1 : 0;
    auto watcher = std::make_unique<waitforapplication>(LaunchRequest{{commands[i % 4]}, false, i % 99}, timing, host,
                                                        platform::processStarter());
    burner.SetFactor(50);
    ticked.set(watcher.get());
    must(watcher->resume());
    const auto deadline = Clock::now() + 10s;
    while (!watcher->finished() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ticked.set(nullptr);  // no tick may reach a watcher being destroyed
    const bool ended = watcher->finished() && burner.suspendCount() == 1 && burner.Factor() == i % 99 &&
                       timing.waitSeconds == 0 && timing.runForSeconds == 0;
    return ended;
}

void watchSoak(int watches) {
    std::printf("Watch soak: %d watches\n", watches);
    std::atomic<int32_t> benchmark{400};
    TBurner burner(platform::systemClock(), benchmark, {platform::systemControl().allowedProcessors().front()});
    RecordingHost host(burner);
    LaunchTiming timing;
    Ticked ticked;
    std::atomic<bool> stop{false};
    std::atomic<long> ticks{0};
    // The window's timer, every few milliseconds instead of every second.
    std::thread ticker([&] {
        while (!stop) {
            std::this_thread::sleep_for(3ms);
            std::lock_guard lock(ticked.mutex);
            if (ticked.current) {
                ticked.current->Tick();
                ++ticks;
            }
        }
    });

    int failed = 0;
    watchOnce(0, host, burner, timing, ticked);  // warm-up: first-use allocations
    const int fdBefore = countDescriptors();
    const long rssBefore = vmRssKb();
    const auto start = Clock::now();
    for (int i = 1; i <= watches; ++i)
        if (!watchOnce(i, host, burner, timing, ticked)) ++failed;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    ticker.join();
    // A child that outlived its watch is reaped when it ends.
    std::pair<int, int> left = children();
    for (const auto until = Clock::now() + 3s; left.first > 0 && Clock::now() < until; left = children())
        std::this_thread::sleep_for(10ms);
    const int fdAfter = countDescriptors();
    const long rssAfter = vmRssKb();

    std::printf("  run time %.1f s, ticks delivered %ld, stops %d, progress steps %d\n", seconds, ticks.load(),
                host.stops.load(), host.progress.load());
    std::printf("  watches that did not end cleanly: %d\n", failed);
    std::printf("  children left: %d (zombies %d)\n", left.first, left.second);
    std::printf("  descriptors: %d before, %d after\n", fdBefore, fdAfter);
    std::printf("  VmRSS: %ld kB before, %ld kB after (%+ld kB)\n", rssBefore, rssAfter, rssAfter - rssBefore);
    report(failed == 0, "every watch ended, burners stopped, factor restored");
    report(host.stops == watches + 1, "one stop per watch");
    report(left.first == 0 && left.second == 0, "no child left, no zombie");
    report(fdAfter == fdBefore, "no descriptor leaked");
    report(rssAfter - rssBefore <= 2048, "memory flat (VmRSS within 2 MB)");
}

int option(int argc, char** argv, const char* name, int fallback) {
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0) return std::atoi(argv[i] + n);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    // As start-up does: the window's thread, which suspends the burners, is
    // never below them.
    auto& system = platform::systemControl();
    system.useClassNice(kClassNice);
    const bool raised = system.setProcessPriorityClass(platform::PriorityClass::High) &&
                        system.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    std::printf("Main thread at time-critical priority: %s\n", raised ? "yes" : "no (not allowed)");
    suspendResumeSoak(option(argc, argv, "--cycles=", 10000));
    watchSoak(option(argc, argv, "--watches=", 200));
    std::printf(allPassed ? "All soak checks passed\n" : "Some soak checks FAILED\n");
    return allPassed ? 0 : 1;
}
