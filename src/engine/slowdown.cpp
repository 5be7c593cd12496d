// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/slowdown.h"

#include "engine/benchmark.h"
#include "engine/engine_mode_store.h"
#include "engine/scheduling.h"
#include "platform/group_standing.h"
#include "platform/run_meter.h"

namespace engine {

TSlowDown::TSlowDown(platform::SystemControl& system, platform::UserRegistry& registry, platform::Clock& clock)
    : system_(system), registry_(registry), clock_(clock) {
    if (platform::RunMeter* meter = system_.runMeter()) sampler_ = std::make_unique<ShareSampler>(*meter);
}

void TSlowDown::applyStartupPriorities() {
    version5_ = system_.majorVersion() >= 5;
    system_.useClassNice(kClassNice);
    system_.setProcessPriorityClass(designedPriorityClass());
    system_.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    if (platform::GroupStanding* standing = system_.groupStanding()) standing->prepare();
}

platform::PriorityClass TSlowDown::designedPriorityClass() const {
    return version5_ ? platform::PriorityClass::High : platform::PriorityClass::Realtime;
}

int32_t TSlowDown::loadBenchmark(const std::function<void()>& measure) {
    benchmarkTime_ = loadBenchmarkTime(registry_, [&] {
        measure();
        return benchmarkTime_.load();
    });
    return benchmarkTime_.load();
}

platform::Result<> TSlowDown::measureBenchmark(int64_t draws) {
    // The measurement runs a second or more without sleeping: not under a
    // real-time policy, where it would hold a processor against everything
    // (and, granted by RealtimeKit, overrun RLIMIT_RTTIME).
    if (windowRealtime_ > 0) system_.setCurrentThreadRealtime(0);
    benchmarkTime_ = MeasureBench(clock_, generator_, draws);
    if (windowRealtime_ > 0) system_.setCurrentThreadRealtime(windowRealtime_);
    return storeBench(registry_, benchmarkTime_.load());
}

void TSlowDown::createBurner(std::vector<int> processors) {
    if (processors.empty()) processors = system_.allowedProcessors();
    burner_ = std::make_unique<TBurner>(clock_, benchmarkTime_, processors);
    // The user's choice of engine holds for every start, command-line launches too.
    applyEngineMode(readStoredMode(registry_));
}

void TSlowDown::applyEngineMode(EngineMode mode) {
    mode_ = mode;
    trim_.reset();  // the classic engine has no trim; the accurate one learns anew
    const platform::Rights& rights = climbRights();
    const SlowDownPolicy policy = applyScheduling(system_, rights, *burner_, mode, designedPriorityClass(), factor_);
    holdsOtherSessions_ = policy.holdsOtherSessions;
    lowerOtherSessions_ = policy.lowerOtherSessions;
    otherSessionsNice_ = policy.otherSessions.nice;
    otherSessionsRule_ = policy.otherSessions.takes;
    scopeWeight_ = policy.scopeWeight;
    windowRealtime_ = policy.plan.windowRealtime;
    trim_.setRealtime(policy.plan.burnerRealtime > 0);
    realtimeGrantedBy_ = rights.realtime.by;
    realtimeHow_ = rights.realtime.how;
    applyTrim();
}

const platform::Rights& TSlowDown::climbRights() {
    if (!ladder_) ladder_.emplace(system_.rightsSteps(kRealtimeRunTime));
    return ladder_->climb();
}

platform::Result<> TSlowDown::chooseEngineMode(EngineMode mode) {
    applyEngineMode(mode);
    return storeMode(registry_, mode);
}

namespace {
// Who granted real time, in the words of the help topic on rights.
std::string grantorName(const std::string& step, const std::string& how) {
    if (how == "root") return "root";
    if (how == "CAP_SYS_NICE") return "capability";
    if (how == "RLIMIT_RTPRIO") return "rtprio limit";
    return step;
}
}  // namespace

Standing TSlowDown::currentStanding() const {
    const platform::GroupFacts facts = groupFacts();
    Standing s;
    s.realtime = windowRealtime_ > 0;
    s.grantor = grantorName(realtimeGrantedBy_, realtimeHow_);
    s.holdsOtherSessions = holdsOtherSessions_;
    s.schedulesByGroup = facts.schedulesByGroup;
    s.weightObtained = facts.weightObtained;
    s.weightRefusal = facts.weightRefusal;
    // Where sessions' groups decide, Resume lowers the others when the burners
    // (or their backups) do not hold against them.
    s.lowersOtherSessions = lowerOtherSessions_ && !facts.schedulesByGroup && system_.sessionsGrouped();
    s.realtimeRefusedByGroup = facts.realtimeRefusedByGroup && !facts.realtimeInAncestorGroup;
    // Lowered on a worker, one a tenth of a second: not all at once.
    s.sessionsWaiting = s.lowersOtherSessions && running_ && !system_.otherSessionsSettled();
    return s;
}

std::string TSlowDown::rightsNote() const { return engine::rightsNote(currentStanding()); }

std::string TSlowDown::rightsSummary() const { return engine::rightsSummary(currentStanding()); }

std::string TSlowDown::rightsDetails() const { return engine::rightsDetails(currentStanding()); }

int32_t TSlowDown::SetFactor(int32_t factor) {
    factor_ = clampFactor(factor);
    burner_->SetPriority(burnerPriorityFor(factor_));
    burner_->SetFactor(factor_);
    applyTrim();  // the ratio learned holds at the new factor at once
    return factor_;
}

void TSlowDown::applyTrim() {
    if (!burner_) return;
    burner_->SetTrim(mode_ == EngineMode::Accurate ? trim_.busyBp(factor_) - factor_ * 100 : 0);
}

void TSlowDown::markRunning() {
    running_ = true;
    trim_.reset();
    applyTrim();
    if (sampler_) sampler_->restart();
}

Readout TSlowDown::measure(pid_t program) {
    if (!sampler_ || !burner_) return {};
    if (burner_->suspendCount() != 0) {
        sampler_->openWindow();  // a launch's wait, or its end: the window opens with the burners
        return {};
    }
    std::vector<pid_t> threads;
    for (size_t i = 0; i < burner_->size(); ++i) {
        threads.push_back(burner_->thread(i).threadId());
        if (burner_->backupsActive()) threads.push_back(burner_->backup(i).threadId());
    }
    const Readout r = sampler_->sample(program, threads, static_cast<int>(burner_->size()));
    if (r.measured && mode_ == EngineMode::Accurate) {
        trim_.update(factor_, r.percent);
        applyTrim();
    }
    return r;
}

std::optional<ProgramTotals> TSlowDown::programTotals() const {
    return sampler_ ? sampler_->programTotals() : std::nullopt;
}

platform::Result<> TSlowDown::Resume() {
    weighGroup(true);
    auto resumed = burner_->Resume();
    // Burners that don't hold against other sessions get them lowered instead
    // (after the burners: without rights the kernel takes one such change a
    // tenth of a second, and the slow-down should not wait for them).
    if (resumed && lowerOtherSessions_)
        system_.lowerOtherSessions(
            platform::SessionsLowering{.nice = otherSessionsNice_.load(), .takes = otherSessionsRule_.load()});
    return resumed;
}

platform::Result<> TSlowDown::Stop() {
    auto stopped = suspendNow();
    if (stopped) running_ = false;
    return stopped;
}

platform::Result<> TSlowDown::suspendNow() {
    auto suspended = burner_->Suspend();
    if (suspended) {
        weighGroup(false);
        system_.lowerOtherSessions(std::nullopt);
    }
    return suspended;
}

void TSlowDown::restoreFactor(int32_t factor) { burner_->SetFactor(clampFactor(factor)); }

void TSlowDown::Release() {
    if (burner_) (void)burner_->Suspend();  // at the end nobody is left to tell
    system_.lowerOtherSessions(std::nullopt);
    system_.raiseSession(false, designedPriorityClass());
    weighGroup(false);
}

platform::GroupFacts TSlowDown::groupFacts() const {
    const platform::GroupStanding* standing = system_.groupStanding();
    return standing ? standing->facts() : platform::GroupFacts{};
}

// The burners' group weighs more against the user's other programs only while they run.
void TSlowDown::weighGroup(bool running) {
    platform::GroupStanding* standing = system_.groupStanding();
    if (!standing) return;
    if (running)
        standing->raise(scopeWeight_.load());
    else
        standing->lower();
}

}  // namespace engine
