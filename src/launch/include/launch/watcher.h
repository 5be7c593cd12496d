#pragma once
// The watcher: one thread per launch that starts the application, runs the
// wait and run-for phases one timer tick at a time, switches the burners on
// and, at the end, off again. Everything it changes in the window goes
// through the host, which carries it out on the window's thread in order.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/burner.h"
#include "platform/process.h"
#include "platform/thread.h"

// What a launch starts: the text of a launch entry, split into arguments when
// the program starts; or, when arguments is not empty, arguments that came as
// a list (the program's own command line) and reach the program as they are.
// The text is what the window shows.
struct ApplicationCommand {
    std::string text;
    std::vector<std::string> arguments{};
};

// The program and its arguments, its path resolved where it holds blanks.
std::vector<std::string> launchArguments(const ApplicationCommand& command);
// Where a launched program starts: the directory part of its resolved path,
// or the current directory (empty) when it is named without a '/'.
std::string applicationDirectory(const std::vector<std::string>& arguments);
// The message for a program that could not be started.
std::string startFailureText(const std::string& program, const std::string& reason);

// The window's side of a watch.
class WatchHost {
public:
    virtual ~WatchHost() = default;
    // Runs on the window's thread, after everything posted before it.
    virtual void SetProgress(int percent) = 0;
    virtual void EnableTicker() = 0;
    virtual void DisableTicker() = 0;
    virtual void DeactivateTrayIcon() = 0;
    virtual void RepaintAndUpdateSpeedLabels() = 0;
    // Stops the burners at once; the window's part follows on its thread.
    virtual void StopSlowDownFromWatcher(int32_t position) = 0;
    virtual void ReportStartFailure(const std::string& message) = 0;
};

// The timing of the next launch, shared by the window and the watcher.
struct LaunchTiming {
    std::atomic<int32_t> waitSeconds{0};
    std::atomic<int32_t> runForSeconds{0};
};

class waitforapplication : public platform::SuspendableThread {
public:
    waitforapplication(WatchHost& host, TBurner& burner, LaunchTiming& timing, platform::ProcessStarter& processes);
    ~waitforapplication() override;

    // Set at the end of a watch whose close flag is set; the next tick ends the program.
    std::atomic<bool> terminateRequest{false};
    bool closeFlag = false;
    int32_t savedFactor = 0;
    ApplicationCommand applicationCommand;

    // A tick of the one-second timer: wakes the watcher if it waits for one.
    // A tick that finds it busy is lost.
    void Tick();
    // True while the watcher blocks until the next tick (for tests).
    bool waitingForTick() const;
    // From now on the watch changes no window (the window is gone).
    void detachHost();
    // The started application's process id, 0 before it started or when it failed.
    pid_t applicationPid() const { return applicationPid_.load(); }

protected:
    void Execute() override;

private:
    std::unique_ptr<platform::Process> startApplication();
    void waitPhase(platform::Process* app);
    void runForPhase(platform::Process* app);
    void finishWatch();
    void waitForTick();

    WatchHost& host() { return *host_.load(); }
    std::atomic<WatchHost*> host_;
    TBurner& burner_;
    LaunchTiming& timing_;
    platform::ProcessStarter& processes_;
    mutable std::mutex mutex_;
    std::condition_variable tick_;
    bool waiting_ = false;
    std::atomic<pid_t> applicationPid_{0};
};
