// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/watcher.h"

namespace launch {

waitforapplication::waitforapplication(LaunchRequest request, LaunchTiming& timing, WatchHost& host,
                                       platform::ProcessStarter& processes)
    : request_(std::move(request)), host_(&host), timing_(timing), processes_(processes) {}

waitforapplication::~waitforapplication() {
    terminate();
    {
        std::lock_guard lock(mutex_);
        tick_.notify_all();
    }
    terminateAndWait();
}

void waitforapplication::detachHost() {
    std::lock_guard lock(hostMutex_);
    host_ = nullptr;
}

template <typename Call>
void waitforapplication::toHost(Call call) {
    std::lock_guard lock(hostMutex_);
    if (host_) call(*host_);
}

void waitforapplication::Tick() {
    std::lock_guard lock(mutex_);
    if (!waiting_) return;
    waiting_ = false;
    tick_.notify_one();
}

bool waitforapplication::waitingForTick() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

void waitforapplication::waitForTick() {
    std::unique_lock lock(mutex_);
    waiting_ = true;
    toHost([](WatchHost& h) { h.enableTicker(); });
    tick_.wait(lock, [this] { return !waiting_ || Terminated(); });
    waiting_ = false;
}

std::vector<std::string> launchArguments(const ApplicationCommand& command) {
    if (command.arguments.empty()) return platform::splitCommand(command.text);
    return platform::joinProgramWords(command.arguments);
}

std::string applicationDirectory(const std::vector<std::string>& arguments) {
    // The program's own directory: arguments that hold a '/' (as options and
    // files on Linux often do) do not decide where it starts.
    return arguments.empty() ? std::string() : platform::directoryPart(arguments.front());
}

std::string startFailureText(const std::string& program, const std::string& reason) {
    // The command line's text ends in a blank; it does not belong before the colon.
    const size_t end = program.find_last_not_of(' ');
    return "Cannot start " + program.substr(0, end == std::string::npos ? 0 : end + 1) + ": " + reason;
}

std::unique_ptr<platform::Process> waitforapplication::startApplication() {
    const ApplicationCommand& command = request_.command;
    const std::vector<std::string> arguments = launchArguments(command);
    auto started = processes_.start(arguments, applicationDirectory(arguments));
    if (const platform::Failure* failure = started.failure()) {
        applicationPid_ = 0;
        exitStatus_ = platform::startFailureStatus(failure->error);
        const std::string message =
            startFailureText(arguments.empty() ? command.text : arguments.front(), failure->reason);
        toHost([&](WatchHost& h) { h.reportStartFailure(message); });
        return nullptr;
    }
    applicationPid_ = (*started)->pid();
    return std::move(*started);
}

void waitforapplication::Execute() {
    terminateRequest = false;
    std::unique_ptr<platform::Process> app;
    std::optional<platform::Failure> resumeFailure;
    const auto resume = [&] { toHost([&](WatchHost& h) { resumeFailure = h.resumeBurnerFromWatcher().failure(); }); };
    if (timing_.waitSeconds != 0) {
        app = startApplication();
        waitPhase(app.get());
        resume();
    } else {
        resume();
        app = startApplication();
    }
    // Only now is the program's fate known: at a process limit neither the
    // burners nor the program may start.
    if (resumeFailure) {
        const ProgramFate fate = !app             ? ProgramFate::NotStarted
                                 : app->running() ? ProgramFate::Runs
                                                  : ProgramFate::Ended;
        toHost([&](WatchHost& h) { h.reportResumeFailure(fate, resumeFailure->reason); });
    }
    runForPhase(app.get());
    if (timing_.runForSeconds == 0 && app) app->waitForEnd();
    if (app && !app->running()) exitStatus_ = app->exitStatus().value_or(0);
    app.reset();  // a program that outlives its watch is reaped when it ends
    finishWatch();
}

void waitforapplication::waitPhase(platform::Process* app) {
    for (int32_t i = 0; timing_.waitSeconds != 0 && app && timing_.waitSeconds > i && app->running(); ++i) {
        const int percent = static_cast<int>(int64_t(i) * 100 / timing_.waitSeconds);
        toHost([percent](WatchHost& h) { h.setProgress(percent); });
        waitForTick();
        if (Terminated()) return;
    }
}

void waitforapplication::runForPhase(platform::Process* app) {
    for (int32_t n = timing_.runForSeconds; timing_.runForSeconds != 0 && app && n > 0 && app->running(); --n) {
        const int percent = static_cast<int>(int64_t(n) * 100 / timing_.runForSeconds);
        toHost([percent](WatchHost& h) { h.setProgress(percent); });
        waitForTick();
        if (Terminated()) return;
    }
}

void waitforapplication::finishWatch() {
    const int32_t saved = request_.savedFactor;
    toHost([saved](WatchHost& h) {
        h.stopSlowDownFromWatcher(saved);
        h.setProgress(0);
        h.restoreFactor(saved);
        h.repaintAndUpdateSpeedLabels();
    });
    timing_.runForSeconds = 0;
    timing_.waitSeconds = 0;
    if (request_.closeFlag) {
        toHost([](WatchHost& h) { h.deactivateTrayIcon(); });
        terminateRequest = true;
        toHost([](WatchHost& h) { h.enableTicker(); });
    } else {
        toHost([](WatchHost& h) { h.disableTicker(); });
    }
}

}  // namespace launch
