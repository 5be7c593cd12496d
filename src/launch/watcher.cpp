#include "launch/watcher.h"

waitforapplication::waitforapplication(WatchHost& host, TBurner& burner, LaunchTiming& timing,
                                       platform::ProcessStarter& processes)
    : host_(&host), burner_(burner), timing_(timing), processes_(processes) {}

waitforapplication::~waitforapplication() {
    terminate();
    {
        std::lock_guard lock(mutex_);
        tick_.notify_all();
    }
    terminateAndWait();
}

namespace {
class NoWindow : public WatchHost {
public:
    void SetProgress(int) override {}
    void EnableTicker() override {}
    void DisableTicker() override {}
    void DeactivateTrayIcon() override {}
    void RepaintAndUpdateSpeedLabels() override {}
    void StopSlowDownFromWatcher(int32_t) override {}
    void ReportStartFailure(const std::string&) override {}
};
}  // namespace

void waitforapplication::detachHost() {
    static NoWindow none;
    host_ = &none;
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
    host().EnableTicker();
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
    const std::vector<std::string> arguments = launchArguments(applicationCommand);
    platform::Started started = processes_.start(arguments, applicationDirectory(arguments));
    applicationPid_ = started.process ? started.process->pid() : 0;
    if (!started.process)
        host().ReportStartFailure(startFailureText(arguments.empty() ? applicationCommand.text : arguments.front(),
                                                   started.failure));
    return std::move(started.process);
}

void waitforapplication::Execute() {
    terminateRequest = false;
    std::unique_ptr<platform::Process> app;
    if (timing_.waitSeconds != 0) {
        app = startApplication();
        waitPhase(app.get());
        burner_.Resume();
    } else {
        burner_.Resume();
        app = startApplication();
    }
    runForPhase(app.get());
    if (timing_.runForSeconds == 0 && app) app->waitForEnd();
    app.reset();  // a program that outlives its watch is reaped when it ends
    finishWatch();
}

void waitforapplication::waitPhase(platform::Process* app) {
    for (int32_t i = 0; timing_.waitSeconds != 0 && app && timing_.waitSeconds > i && app->running(); ++i) {
        host().SetProgress(static_cast<int>(int64_t(i) * 100 / timing_.waitSeconds));
        waitForTick();
        if (Terminated()) return;
    }
}

void waitforapplication::runForPhase(platform::Process* app) {
    for (int32_t n = timing_.runForSeconds; timing_.runForSeconds != 0 && app && n > 0 && app->running(); --n) {
        host().SetProgress(static_cast<int>(int64_t(n) * 100 / timing_.runForSeconds));
        waitForTick();
        if (Terminated()) return;
    }
}

void waitforapplication::finishWatch() {
    host().StopSlowDownFromWatcher(savedFactor);
    host().SetProgress(0);
    burner_.SetFactor(savedFactor);
    host().RepaintAndUpdateSpeedLabels();
    timing_.runForSeconds = 0;
    timing_.waitSeconds = 0;
    if (closeFlag) {
        host().DeactivateTrayIcon();
        terminateRequest = true;
        host().EnableTicker();
    } else {
        host().DisableTicker();
    }
}
