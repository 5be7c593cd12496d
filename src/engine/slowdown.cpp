#include "engine/slowdown.h"

#include "engine/benchmark.h"
#include "engine/enginemode_store.h"
#include "engine/scheduling.h"

namespace engine {

TSlowDown::TSlowDown(platform::SystemControl& system, platform::UserRegistry& registry, platform::Clock& clock)
    : system_(system), registry_(registry), clock_(clock) {}

void TSlowDown::ApplyStartupPriorities() {
    version5_ = system_.majorVersion() >= 5;
    system_.setProcessPriorityClass(DesignedPriorityClass());
    system_.setCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
}

platform::PriorityClass TSlowDown::DesignedPriorityClass() const {
    return version5_ ? platform::PriorityClass::High : platform::PriorityClass::Realtime;
}

int32_t TSlowDown::LoadBenchmark(const std::function<void()>& measure) {
    benchmarkTime_ = loadBenchmarkTime(registry_, [&] {
        measure();
        return benchmarkTime_.load();
    });
    return benchmarkTime_.load();
}

std::optional<std::string> TSlowDown::MeasureBenchmark(int64_t draws) {
    // The measurement runs a second or more without sleeping: not under a
    // real-time policy, where it would hold a processor against everything
    // (and, granted by RealtimeKit, overrun RLIMIT_RTTIME).
    if (windowRealtime_ > 0) system_.setCurrentThreadRealtime(0);
    benchmarkTime_ = MeasureBench(clock_, generator_, draws);
    if (windowRealtime_ > 0) system_.setCurrentThreadRealtime(windowRealtime_);
    return storeBench(registry_, benchmarkTime_.load());
}

void TSlowDown::CreateBurner(std::vector<int> processors) {
    if (processors.empty()) processors = system_.allowedProcessors();
    burner_ = std::make_unique<TBurner>(clock_, benchmarkTime_, processors);
    // The user's choice of engine holds for every start, command-line launches too.
    ApplyEngineMode(readStoredMode(registry_));
}

void TSlowDown::ApplyEngineMode(EngineMode mode) {
    mode_ = mode;
    const SchedulingOutcome outcome = applyScheduling(system_, *burner_, mode, DesignedPriorityClass(), factor_);
    holdsOtherSessions_ = outcome.holdsOtherSessions;
    windowRealtime_ = outcome.plan.windowRealtime;
    realtimeGrantedBy_ = system_.rights().realtime.by;
}

std::optional<std::string> TSlowDown::ChooseEngineMode(EngineMode mode) {
    ApplyEngineMode(mode);
    return storeMode(registry_, mode);
}

std::string TSlowDown::RightsNote() const {
    // Real time through the desktop's service is worth saying: it is what
    // an ordinary user gets, and the service may refuse it on another day.
    if (holdsOtherSessions_ && windowRealtime_ > 0 && realtimeGrantedBy_ == "RealtimeKit")
        return "Real-time priority granted by RealtimeKit";
    if (holdsOtherSessions_) return {};
    return "Lentora may not raise its priority: programs it did not start are slowed down less (see Help)";
}

int32_t TSlowDown::SetFactor(int32_t factor) {
    factor_ = clampFactor(factor);
    burner_->SetPriority(burnerPriorityFor(factor_));
    burner_->SetFactor(factor_);
    return factor_;
}

bool TSlowDown::Resume() {
    const bool resumed = burner_->Resume();
    // Burners that don't hold against other sessions get them lowered instead
    // (after the burners: without rights the kernel takes one such change a
    // tenth of a second, and the slow-down should not wait for them).
    if (resumed && !holdsOtherSessions_) system_.lowerOtherSessions(true);
    return resumed;
}

bool TSlowDown::Stop() {
    if (!SuspendNow()) return false;
    running_ = false;
    return true;
}

bool TSlowDown::SuspendNow() {
    const bool suspended = burner_->Suspend();
    if (suspended) system_.lowerOtherSessions(false);
    return suspended;
}

void TSlowDown::RestoreFactor(int32_t factor) { burner_->SetFactor(clampFactor(factor)); }

void TSlowDown::Release() {
    if (burner_) burner_->Suspend();
    system_.lowerOtherSessions(false);
    system_.raiseSession(false, DesignedPriorityClass());
}

}  // namespace engine
