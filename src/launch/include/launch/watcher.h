// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The watcher: one thread per launch that starts the application, runs the
// wait and run-for phases one timer tick at a time, switches the burners on
// and, at the end, off again. It reaches the burners and the window only
// through its host.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/thread.h"

namespace launch {

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

// What became of the program when the burners could not be resumed.
enum class ProgramFate { Runs, Ended, NotStarted };

// The window's side of a watch, called on the watcher's thread. No call
// waits for the window's thread: the window may therefore wait for a call in
// progress (as detachHost does) without a deadlock.
class WatchHost {
public:
    virtual ~WatchHost() = default;
    // The slow-down begins now: the burners are resumed on the calling
    // thread.
    virtual platform::Result<> resumeBurnerFromWatcher() = 0;
    // The burners could not be resumed, for the reason given; said once the
    // program's fate is known.
    virtual void reportResumeFailure(ProgramFate program, const std::string& reason) = 0;
    // Stops the burners at once; the window's part follows on its thread.
    virtual void stopSlowDownFromWatcher(int32_t position) = 0;
    // The burners' factor, at once (they are suspended by then).
    virtual void restoreFactor(int32_t factor) = 0;
    // Posted to the window's thread, carried out there in the order of the calls.
    virtual void setProgress(int percent) = 0;
    virtual void enableTicker() = 0;
    virtual void disableTicker() = 0;
    virtual void deactivateTrayIcon() = 0;
    virtual void repaintAndUpdateSpeedLabels() = 0;
    virtual void reportStartFailure(const std::string& message) = 0;
};

// The timing of the next launch, shared by the window and the watcher: a
// launch from the list writes the entry's values, the watcher reads them at
// every step of its phases and zeroes them when the watch ends.
struct LaunchTiming {
    std::atomic<int32_t> waitSeconds{0};
    std::atomic<int32_t> runForSeconds{0};
};

// What one launch asks of its watcher, fixed when the watcher is created.
// The wait and run-for seconds are not part of it: they stay in the shared
// LaunchTiming, read at every step. Minimizing is done by the launch itself,
// before the watcher exists.
struct LaunchRequest {
    ApplicationCommand command;
    bool closeFlag = false;   // end the program after the watch
    int32_t savedFactor = 0;  // the track bar's factor before the launch, restored at the end
};

class waitforapplication : public platform::SuspendableThread {
public:
    // The host must stay valid until the watch finished or detachHost
    // returned; timing and processes for the life of the watcher.
    waitforapplication(LaunchRequest request, LaunchTiming& timing, WatchHost& host,
                       platform::ProcessStarter& processes);
    // Joins the thread: only for a watcher that finished, or one that waits
    // for a tick (it ends without another step). One that waits for its
    // application's end would wait with it: such a watcher is detached.
    ~waitforapplication() override;

    const LaunchRequest& request() const { return request_; }

    // Set at the end of a watch whose close flag is set (or by the window for
    // a launch that could not be watched); the window's timer reads it, and
    // the next tick ends the program. Written before the timer is enabled.
    std::atomic<bool> terminateRequest{false};

    // A tick of the one-second timer: wakes the watcher if it waits for one.
    // A tick that finds it busy is lost.
    void Tick();
    // True while the watcher blocks until the next tick (for tests).
    bool waitingForTick() const;
    // From now on the watch reaches neither the window nor the burners: for
    // a window that goes while the watch runs on. Returns once a host call in
    // progress has returned, so the host may go right after.
    void detachHost();
    // The started application's process id, 0 before it started or when it failed.
    pid_t applicationPid() const { return applicationPid_.load(); }
    // What the program's exit status is to be when the watch closes it, as a
    // wrapper gives it: the application's own status when it ended during the
    // watch, the shell's 126 or 127 when it could not be started, and 0 when
    // it outlives the watch. Read once terminateRequest is set.
    int exitStatus() const { return exitStatus_.load(); }

protected:
    void Execute() override;

private:
    std::unique_ptr<platform::Process> startApplication();
    void waitPhase(platform::Process* app);
    void runForPhase(platform::Process* app);
    void finishWatch();
    void waitForTick();

    // Every host call runs under hostMutex_, so that detachHost can wait for it.
    template <typename Call>
    void toHost(Call call);

    const LaunchRequest request_;
    std::mutex hostMutex_;
    WatchHost* host_;  // nullptr once detached
    LaunchTiming& timing_;
    platform::ProcessStarter& processes_;
    mutable std::mutex mutex_;
    std::condition_variable tick_;
    bool waiting_ = false;
    std::atomic<pid_t> applicationPid_{0};
    std::atomic<int> exitStatus_{0};
};

}  // namespace launch
