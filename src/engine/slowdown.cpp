#include "engine/slowdown.h"

#include "engine/benchmark.h"
#include "engine/enginemode_store.h"
#include "engine/scheduling.h"

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
    benchmarkTime_ = MeasureBench(clock_, generator_, draws);
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
}

std::optional<std::string> TSlowDown::ChooseEngineMode(EngineMode mode) {
    ApplyEngineMode(mode);
    return storeMode(registry_, mode);
}

std::string TSlowDown::RightsNote() const {
    if (holdsOtherSessions_) return {};
    return "Lentora may not raise its priority: programs it did not start are slowed down less (see Help)";
}

int32_t TSlowDown::SetFactor(int32_t factor) {
    factor_ = clampFactor(factor);
    burner_->SetPriority(burnerPriorityFor(factor_));
    burner_->SetFactor(factor_);
    return factor_;
}

bool TSlowDown::Resume() { return burner_->Resume(); }

bool TSlowDown::Stop() {
    if (!burner_->Suspend()) return false;
    running_ = false;
    return true;
}

bool TSlowDown::SuspendNow() { return burner_->Suspend(); }

void TSlowDown::RestoreFactor(int32_t factor) { burner_->SetFactor(clampFactor(factor)); }

void TSlowDown::Release() {
    if (burner_) burner_->Suspend();
    system_.raiseSession(false, DesignedPriorityClass());
}
