// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/share_sampler.h"

#include <algorithm>
#include <utility>

namespace engine {

namespace {
constexpr int64_t kShortestWindowNs = 500'000'000;
// A program runnable less than this part of the window (waiting for input,
// asleep) says little about what it would get: the burners' hold is shown.
constexpr double kLeastRunnable = 0.1;

// With no launched program measured, what a busy program of any session got
// is the free part less what the processors idled through it and less
// Lentora's own work. Idle on a processor whose free part a program was
// waiting for is the switch's loss (0.3 of the 2 % at 98, measured as root);
// idle where nothing wanted the free part is no loss. So the least idle
// processor's idle counts in full up to a quarter of the free part, and not
// at all from half of it, with a slope between: no step for the feedback to
// hunt across.
double programsGot(double freePercent, double idlePercent, double ownPercent, int processors) {
    if (idlePercent < 0 || freePercent <= 0) return freePercent;
    const double weight = std::clamp((0.5 - idlePercent / freePercent) / 0.25, 0.0, 1.0);
    return std::max(0.0, freePercent - weight * (idlePercent + ownPercent / std::max(processors, 1)));
}
}  // namespace

void ShareSampler::openWindow() {
    lastNs_ = -1;
    program_.clear();
    burners_.clear();
    idle_.clear();
}

void ShareSampler::restart() {
    openWindow();
    total_ = {};
    totalSeconds_ = 0;
}

// Threads that ended since the last reading are lost for this window; new
// ones count from their start. Summed over the totals instead, a thread's
// end would make the window's time run backwards.
std::optional<ShareSampler::Delta> ShareSampler::programDelta(pid_t program, int64_t wallNs) {
    const auto run = program > 0 ? meter_.program(program) : std::nullopt;
    std::map<pid_t, platform::ThreadRun> now;
    Delta d;
    if (run) {
        waitKnown_ = run->waitKnown;
        for (const platform::ThreadRun& t : run->threads) {
            const auto before = program_.find(t.tid);
            const platform::ThreadRun from = before == program_.end() ? platform::ThreadRun{} : before->second;
            d.runNs += std::max<int64_t>(0, t.runNs - from.runNs);
            d.runnableNs += std::max<int64_t>(0, t.runNs - from.runNs + t.waitNs - from.waitNs);
            now[t.tid] = t;
        }
    }
    const bool hadWindow = !program_.empty();
    program_ = std::move(now);
    if (!run || !hadWindow) return std::nullopt;
    if (!waitKnown_) d.runnableNs = static_cast<double>(wallNs);
    return d;
}

// Nothing where a burner was not read at both ends of the window (it had not
// started yet at the first reading): its hold would count as none, and the
// feedback would take the burners for outweighed.
std::optional<double> ShareSampler::burnerDeltaNs(const std::vector<pid_t>& burners) {
    std::map<pid_t, int64_t> now;
    double sum = 0;
    bool whole = true;
    for (pid_t tid : burners) {
        const int64_t ns = tid > 0 ? meter_.ownThreadCpuNs(tid) : -1;
        const auto before = burners_.find(tid);
        whole = whole && ns >= 0 && before != burners_.end();
        if (ns < 0) continue;
        if (before != burners_.end()) sum += static_cast<double>(std::max<int64_t>(0, ns - before->second));
        now[tid] = ns;
    }
    burners_ = std::move(now);
    if (!whole) return std::nullopt;
    return sum;
}

// The idle time of the processor that idled least in the window, percent; -1
// where it is not counted or was not read at the window's start.
double ShareSampler::leastIdlePercent(int64_t wallNs) {
    std::vector<int64_t> now = meter_.processorIdleNs();
    double least = -1;
    if (now.size() == idle_.size() && wallNs > 0) {
        for (size_t i = 0; i < now.size(); ++i) {
            const double idle = 100.0 * static_cast<double>(std::max<int64_t>(0, now[i] - idle_[i])) / wallNs;
            least = least < 0 ? idle : std::min(least, idle);
        }
    }
    idle_ = std::move(now);
    return least;
}

Readout ShareSampler::sample(pid_t program, const std::vector<pid_t>& burners, int processors) {
    const int64_t nowNs = meter_.monotonicNs();
    const bool opened = lastNs_ >= 0;
    const int64_t wallNs = opened ? nowNs - lastNs_ : 0;
    if (opened && wallNs < kShortestWindowNs) return {};  // too short: the window goes on
    lastNs_ = nowNs;
    const int64_t ownBefore = std::exchange(lastOwnNs_, meter_.ownProcessCpuNs());
    const auto delta = programDelta(program, wallNs);
    const auto burnerNs = burnerDeltaNs(burners);
    const double idle = leastIdlePercent(wallNs);
    if (!opened || !burnerNs) return {};
    Readout r{.measured = true, .fromCpuTime = !waitKnown_, .seconds = wallNs / 1e9};
    const double wall = static_cast<double>(wallNs);
    r.heldPercent = 100.0 * *burnerNs / (std::max(processors, 1) * wall);
    r.ownPercent = std::max(0.0, 100.0 * (static_cast<double>(lastOwnNs_ - ownBefore) - *burnerNs) / wall);
    // The kernel adds a thread's wait only once it runs again: a window in
    // which the program did not run at all shows it hardly runnable, and its
    // wait comes with the next. The totals take every window, so they hold.
    r.ofProgram = delta && delta->runnableNs >= kLeastRunnable * wall;
    r.percent = r.ofProgram ? 100.0 * delta->runNs / delta->runnableNs
                            : programsGot(std::max(0.0, 100.0 - r.heldPercent), idle, r.ownPercent, processors);
    if (delta) {
        total_.runNs += delta->runNs;
        total_.runnableNs += delta->runnableNs;
        totalSeconds_ += r.seconds;
    }
    return r;
}

std::optional<ProgramTotals> ShareSampler::programTotals() const {
    // A program asleep nearly throughout (waiting for input, a timer) was
    // hardly runnable: a share of its few runs said 1.7 % for a `sleep`.
    if (totalSeconds_ <= 0 || total_.runnableNs < kLeastRunnable * totalSeconds_ * 1e9) return std::nullopt;
    return ProgramTotals{100.0 * total_.runNs / total_.runnableNs, totalSeconds_, !waitKnown_};
}

}  // namespace engine
