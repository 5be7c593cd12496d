// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launcher.h"

#include <vector>

namespace launch {

Launcher::Launcher(platform::ProcessStarter& processes) : processes_(processes), state_(std::make_unique<State>()) {}

namespace {
// Watches that outlived their window, kept where leak checkers still reach
// them. Touched on the window's thread only.
template <typename State>
std::vector<std::unique_ptr<State>>& keptWatches() {
    static auto* kept = new std::vector<std::unique_ptr<State>>;
    return *kept;
}
}  // namespace

Launcher::~Launcher() {
    if (!state_->watch || state_->watch->finished()) return;
    state_->watch->detachHost();
    joinEndedWatches();  // those of earlier windows that ended since are let go first
    keptWatches<State>().push_back(std::move(state_));
}

int Launcher::joinEndedWatches() {
    auto& kept = keptWatches<State>();
    std::erase_if(kept, [](const std::unique_ptr<State>& state) { return state->watch->finished(); });
    return static_cast<int>(kept.size());
}

void Launcher::setSeconds(int32_t waitSeconds, int32_t runForSeconds) {
    state_->timing.waitSeconds = waitSeconds;
    state_->timing.runForSeconds = runForSeconds;
}

platform::Result<> Launcher::start(LaunchRequest request, WatchHost& host) {
    state_->watch.reset();  // the previous watch has ended: no launch starts before
    state_->watch = std::make_unique<waitforapplication>(std::move(request), state_->timing, host, processes_);
    auto started = state_->watch->resume();
    if (started) return started;
    setSeconds(0, 0);
    state_->watch->terminateRequest = state_->watch->request().closeFlag;
    return started;
}

bool Launcher::Tick() {
    waitforapplication* watch = state_->watch.get();
    if (!watch) return false;
    if (watch->terminateRequest) return true;
    watch->Tick();
    return false;
}

waitforapplication* Launcher::watch() const { return state_->watch.get(); }

bool Launcher::closesProgram() const { return state_->watch && state_->watch->request().closeFlag; }

int Launcher::exitStatus() const { return state_->watch ? state_->watch->exitStatus() : 0; }

}  // namespace launch
