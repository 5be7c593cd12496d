// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The launches of one window, one at a time: the wait and run-for seconds
// the next launch is given (its watcher reads them at every step and clears
// them at its end), the latest watch, and the watch left running at close.
#include <cstdint>
#include <memory>
#include <optional>

#include "launch/watcher.h"

namespace launch {

class Launcher {
public:
    explicit Launcher(platform::ProcessStarter& processes);
    // A watch still running goes on without its host and ends with the
    // process. It is not joined: it may be waiting for its application to
    // end. What it still uses (its seconds) is kept with it.
    ~Launcher();
    // Joins the watches kept so since they ended; returns how many still
    // run. A launcher that goes calls it first, and a test that must leave
    // no thread behind waits on it.
    static int joinEndedWatches();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // The seconds of the next launch, as its entry or the command line gives them.
    void setSeconds(int32_t waitSeconds, int32_t runForSeconds);
    // Watches a launch once the previous watch has ended. Without a thread to
    // watch it, the launch ends at once: its seconds are cleared, with the
    // close flag the next tick ends the program, and the errno is returned.
    platform::Result<> start(LaunchRequest request, WatchHost& host);
    // A tick of the window's one-second timer. True once the program is to
    // end; the watch is not ticked then.
    bool Tick();
    // The latest watch; nullptr before the first launch.
    waitforapplication* watch() const;
    // Whether the latest launch ends the program with its watch.
    bool closesProgram() const;
    // The program's exit status once Tick said it is to end
    // (see waitforapplication::exitStatus).
    int exitStatus() const;

private:
    struct State {
        LaunchTiming timing;
        std::unique_ptr<waitforapplication> watch;
    };
    platform::ProcessStarter& processes_;
    std::unique_ptr<State> state_;
};

}  // namespace launch
