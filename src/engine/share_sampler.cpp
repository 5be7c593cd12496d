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
}  // namespace

void ShareSampler::openWindow() {
    lastNs_ = -1;
    program_.clear();
    burners_.clear();
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

Readout ShareSampler::sample(pid_t program, const std::vector<pid_t>& burners, int processors) {
    const int64_t nowNs = meter_.monotonicNs();
    const bool opened = lastNs_ >= 0;
    const int64_t wallNs = opened ? nowNs - lastNs_ : 0;
    if (opened && wallNs < kShortestWindowNs) return {};  // too short: the window goes on
    lastNs_ = nowNs;
    const int64_t ownBefore = std::exchange(lastOwnNs_, meter_.ownProcessCpuNs());
    const auto delta = programDelta(program, wallNs);
    const auto burnerNs = burnerDeltaNs(burners);
    if (!opened || !burnerNs) return {};
    Readout r{.measured = true, .fromCpuTime = !waitKnown_, .seconds = wallNs / 1e9};
    const double wall = static_cast<double>(wallNs);
    r.heldPercent = 100.0 * *burnerNs / (std::max(processors, 1) * wall);
    r.ownPercent = std::max(0.0, 100.0 * (static_cast<double>(lastOwnNs_ - ownBefore) - *burnerNs) / wall);
    // The kernel adds a thread's wait only once it runs again: a window in
    // which the program did not run at all shows it hardly runnable, and its
    // wait comes with the next. The totals take every window, so they hold.
    r.ofProgram = delta && delta->runnableNs >= kLeastRunnable * wall;
    r.percent = r.ofProgram ? 100.0 * delta->runNs / delta->runnableNs : std::max(0.0, 100.0 - r.heldPercent);
    if (delta) {
        total_.runNs += delta->runNs;
        total_.runnableNs += delta->runnableNs;
        totalSeconds_ += r.seconds;
    }
    return r;
}

std::optional<ProgramTotals> ShareSampler::programTotals() const {
    if (totalSeconds_ <= 0 || total_.runnableNs <= 0) return std::nullopt;
    return ProgramTotals{100.0 * total_.runNs / total_.runnableNs, totalSeconds_, !waitKnown_};
}

}  // namespace engine
