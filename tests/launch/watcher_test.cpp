// SPDX-License-Identifier: GPL-3.0-or-later
// The watcher's phases, step by step: a fake starter instead of programs, a
// host that records what the watcher asks, and ticks given by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "fakes/fake_process_starter.h"
#include "launch/launcher.h"
#include "launch/watcher.h"
#include "wait_for.h"

using namespace launch;
using platform::FakeProcessStarter;

namespace {
using Calls = std::vector<std::string>;

class RecordingHost : public WatchHost {
public:
    platform::Result<> resumeBurnerFromWatcher() override {
        add("resume");
        if (resumes) return platform::done();
        return platform::systemFailure(EAGAIN);
    }
    void reportResumeFailure(ProgramFate fate, const std::string& reason) override {
        add((fate == ProgramFate::Runs    ? "no burners, program runs: "
             : fate == ProgramFate::Ended ? "no burners, program ended: "
                                          : "no burners, program not started: ") +
            reason);
    }
    bool resumes = true;
    void stopSlowDownFromWatcher(int32_t position) override { add("stop " + std::to_string(position)); }
    void restoreFactor(int32_t factor) override { add("factor " + std::to_string(factor)); }
    void setProgress(int percent) override { add(std::to_string(percent) + "%"); }
    void enableTicker() override { add("ticker on"); }
    void disableTicker() override { add("ticker off"); }
    void deactivateTrayIcon() override { add("tray off"); }
    void repaintAndUpdateSpeedLabels() override { add("labels"); }
    void reportStartFailure(const std::string& message) override { add(message); }
    bool saw(const std::string& call) {
        std::lock_guard lock(mutex_);
        return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
    }
    Calls taken() {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::mutex mutex_;
    Calls calls_;
};

struct Case {
    const char* name;
    int32_t wait, runFor;
    bool close;
    std::string failure;
    std::vector<Calls> steps;  // what the host saw before each tick
    size_t endBeforeTick;      // the program ends before this tick (1: the first); 0: it runs on
    Calls end;                 // what it saw after the last tick
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const Calls stop = {"stop 12", "0%", "factor 12", "labels"};
const Calls on = {"ticker on"};

struct Watching : testing::TestWithParam<Case> {
    RecordingHost host;
    FakeProcessStarter starter;
    LaunchTiming timing;
    std::unique_ptr<waitforapplication> watcher;

    void launch(int32_t wait, int32_t runFor, bool close) {
        timing.waitSeconds = wait;
        timing.runForSeconds = runFor;
        watcher = std::make_unique<waitforapplication>(LaunchRequest{{"prog"}, close, 12}, timing, host, starter);
        if (auto failure = watcher->resume().failure()) FAIL() << failure->reason;
    }
    ~Watching() override { starter.endProgram(); }  // no watcher is left waiting for it
};

TEST_P(Watching, PhasesAsTheHostSeesThem) {  // label: threads
    const Case& c = GetParam();
    if (!c.failure.empty()) starter.failure = platform::Failure{c.failure, ENOENT};
    launch(c.wait, c.runFor, c.close);
    for (size_t i = 0; i < c.steps.size(); ++i) {
        ASSERT_TRUE(waitFor([&] { return watcher->waitingForTick(); })) << "step " << i;
        EXPECT_EQ(host.taken(), c.steps[i]) << "step " << i;
        if (i + 1 == c.endBeforeTick) starter.endProgram();
        watcher->Tick();
    }
    if (c.endBeforeTick == c.steps.size() + 1) {
        ASSERT_TRUE(waitFor([&] { return starter.starts() == 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(watcher->finished()) << "the watch lasts as long as the program";
        starter.endProgram();
    }
    ASSERT_TRUE(waitFor([&] { return watcher->finished(); }));
    EXPECT_EQ(host.taken(), c.end);
    EXPECT_EQ(watcher->terminateRequest, c.close);
    EXPECT_EQ(timing.waitSeconds + timing.runForSeconds, 0);
    EXPECT_EQ(starter.starts(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Watch, Watching,
    testing::Values(Case{"WaitClimbsThenBurnsUntilTheEnd",
                         3,
                         0,
                         false,
                         "",
                         {Calls{"0%"} + on, Calls{"33%"} + on, Calls{"66%"} + on},
                         4,
                         Calls{"resume"} + stop + Calls{"ticker off"}},
                    Case{"RunForFallsAndLeavesTheProgramRunning",
                         0,
                         4,
                         false,
                         "",
                         {Calls{"resume", "100%"} + on, Calls{"75%"} + on, Calls{"50%"} + on, Calls{"25%"} + on},
                         0,
                         stop + Calls{"ticker off"}},
                    Case{"WaitThenRunFor",
                         2,
                         2,
                         false,
                         "",
                         {Calls{"0%"} + on, Calls{"50%"} + on, Calls{"resume", "100%"} + on, Calls{"50%"} + on},
                         0,
                         stop + Calls{"ticker off"}},
                    Case{"EndingDuringTheWaitEndsTheWatch",
                         30,
                         5,
                         false,
                         "",
                         {Calls{"0%"} + on},
                         1,
                         Calls{"resume"} + stop + Calls{"ticker off"}},
                    Case{"NegativeWaitIsNone", -3, 0, false, "", {}, 1, Calls{"resume"} + stop + Calls{"ticker off"}},
                    Case{"CloseFlagAsksTheNextTickToEndTheProgram",
                         0,
                         0,
                         true,
                         "",
                         {},
                         1,
                         Calls{"resume"} + stop + Calls{"tray off", "ticker on"}},
                    Case{"StartFailureSkipsEveryWait",
                         5,
                         3,
                         true,
                         "No such file or directory",
                         {},
                         0,
                         Calls{"Cannot start prog: No such file or directory", "resume"} + stop +
                             Calls{"tray off", "ticker on"}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The fault: at a process limit neither the burners nor the program
// started, and the note said the program ran at full speed.
TEST(WatchWithoutBurners, AFailedBurnerStartSaysWhatBecameOfTheProgram) {  // label: threads
    for (const bool starts : {false, true}) {
        RecordingHost host;
        host.resumes = false;
        FakeProcessStarter starter;
        if (!starts) starter.failure = platform::Failure{"no processes left", EAGAIN};
        LaunchTiming timing;
        waitforapplication watcher(LaunchRequest{{"prog"}, false, 12}, timing, host, starter);
        ASSERT_TRUE(watcher.resume());
        const std::string said =
            (starts ? "no burners, program runs: " : "no burners, program not started: ") + platform::errorText(EAGAIN);
        EXPECT_TRUE(waitFor([&] { return host.saw(said); })) << said;
        starter.endProgram();
        ASSERT_TRUE(waitFor([&] { return watcher.finished(); }));
    }
}

// The window goes while the watch runs: the rest of the watch reaches
// neither the window nor the burners.
TEST_F(Watching, ADetachedWatchAsksNothingMore) {  // label: threads
    launch(3, 0, false);
    ASSERT_TRUE(waitFor([&] { return watcher->waitingForTick(); }));
    watcher->detachHost();
    host.taken();
    starter.endProgram();
    watcher->Tick();
    ASSERT_TRUE(waitFor([&] { return watcher->finished(); }));
    EXPECT_EQ(host.taken(), Calls{});
}

// A window that closes while its launch waits for the program: closing does
// not wait for the program, and the rest of the watch reaches nothing of the
// window, though it still reads the seconds the launcher held.
TEST(Launcher, LeavesARunningLaunchAtCloseToEndAlone) {
    RecordingHost host;
    FakeProcessStarter starter;
    auto launcher = std::make_unique<Launcher>(starter);
    launcher->setSeconds(0, 0);
    ASSERT_TRUE(launcher->start(LaunchRequest{{"prog"}, false, 12}, host));
    ASSERT_TRUE(waitFor([&] { return starter.starts() == 1; }));
    waitforapplication* watch = launcher->watch();
    const auto closing = std::chrono::steady_clock::now();
    launcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(2));
    host.taken();
    starter.endProgram();
    ASSERT_TRUE(waitFor([&] { return watch->finished(); }));
    EXPECT_EQ(host.taken(), Calls{});
}

// With the close flag, the tick after the watch's end is the program's last;
// the watch itself is not ticked again.
TEST(Launcher, TicksEndTheProgramOnceAClosingWatchEnded) {  // label: threads
    RecordingHost host;
    FakeProcessStarter starter;
    Launcher launcher(starter);
    EXPECT_FALSE(launcher.Tick()) << "no launch yet";
    launcher.setSeconds(0, 0);
    ASSERT_TRUE(launcher.start(LaunchRequest{{"prog"}, true, 12}, host));
    EXPECT_TRUE(launcher.closesProgram());
    ASSERT_TRUE(waitFor([&] { return starter.starts() == 1; }));
    EXPECT_FALSE(launcher.Tick()) << "the program still runs";
    starter.endProgram();
    ASSERT_TRUE(waitFor([&] { return launcher.watch()->finished(); }));
    EXPECT_TRUE(launcher.Tick());
}
}  // namespace
