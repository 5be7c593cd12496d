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

std::string applicationDirectory(const std::string& command) {
    // The directory of the program itself: arguments that hold a '/' (as
    // options and files on Linux often do) must not decide where it starts.
    // A program named without a '/' starts in our current directory.
    const size_t firstWordEnd = command.find_first_of(" \t");
    if (command.substr(0, firstWordEnd).find('/') == std::string::npos) return std::string();
    const std::vector<std::string> words = platform::splitCommand(command);
    return words.empty() ? std::string() : platform::directoryPart(words.front());
}

std::unique_ptr<platform::Process> waitforapplication::startApplication() {
    auto app = processes_.start(applicationCommand + ' ', applicationDirectory(applicationCommand));
    applicationPid_ = app ? app->pid() : 0;
    return app;
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
