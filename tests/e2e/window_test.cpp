// SPDX-License-Identifier: GPL-3.0-or-later
// Lentora on a real X server (Xvfb), seen as a window manager sees it: the
// caption while a launch runs, and the close request while the burners work.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <filesystem>
#include <thread>

#include "lentora_process.h"
#include "sandbox.h"
#include "virtual_display.h"

using namespace std::chrono_literals;

namespace {

const std::string kIdleCaption = "Lentora 2.05";

class OnDisplay : public testing::Test {
protected:
    static void SetUpTestSuite() { display_ = VirtualDisplay::start().release(); }
    static void TearDownTestSuite() {
        delete display_;
        display_ = nullptr;
    }
    void SetUp() override {
        if (!display_) GTEST_SKIP() << "Xvfb is not available";
    }

    // Starts Lentora and gives its main window the focus, as a window
    // manager does with a new window. The launch does not wait for it: it
    // starts once the window is shown, so the caption may already be the
    // running one.
    std::unique_ptr<LentoraProcess> startFocused(std::vector<std::string> args, long childSleepMs,
                                                 const std::string& caption = kIdleCaption) {
        args.push_back(sandbox_.program.string());
        auto lentora = std::make_unique<LentoraProcess>(
            sandbox_, RunOptions{.args = args, .display = display_->name(), .childSleepMs = childSleepMs});
        mainWindow_ = display_->waitForCaption(lentora->pid(), caption, 15s);
        if (mainWindow_) display_->focus(*mainWindow_);
        return lentora;
    }

    std::string captions(pid_t pid) const {
        std::string all;
        for (const auto& [window, caption] : display_->captionsOf(pid)) all += "\"" + caption + "\" ";
        return all;
    }

    static VirtualDisplay* display_;
    Sandbox sandbox_;
    std::optional<unsigned long> mainWindow_;
};

VirtualDisplay* OnDisplay::display_ = nullptr;

}  // namespace

TEST_F(OnDisplay, CaptionShowsTheFactorWhileTheLaunchRuns) {
    auto lentora = startFocused({"/SPEED=50", "/RUNFOR=0"}, 4000, "Lentora 2.05 - Running at 50%");
    ASSERT_TRUE(mainWindow_) << "no window captioned as running: " << captions(lentora->pid());
    // Slowed down from its start, the program may take a moment to get there.
    EXPECT_TRUE(waitFor([&] { return sandbox_.childStarted(); }, 10s, 20ms));
    // The program ends; so does the slow-down, and the caption is plain again.
    EXPECT_TRUE(display_->waitForCaption(lentora->pid(), kIdleCaption, 8s)) << captions(lentora->pid());
    EXPECT_TRUE(lentora->running());
}

TEST_F(OnDisplay, ClosingTheWindowEndsLentoraPromptlyWhileTheBurnersWork) {
    auto lentora = startFocused({"/SPEED=90", "/RUNFOR=0"}, 30000, "Lentora 2.05 - Running at 90%");
    ASSERT_TRUE(mainWindow_) << captions(lentora->pid());
    ASSERT_TRUE(waitFor([&] { return sandbox_.childStarted(); }, 10s, 20ms));
    const auto launched = lentora->children();
    ASSERT_EQ(launched.size(), 1u);
    const auto atStart = lentora->workerCpu();
    ASSERT_TRUE(waitFor([&] { return totalCpu(cpuSince(atStart, lentora->workerCpu())) >= 200; }, 5s, 20ms))
        << "the burners do not work";

    const auto asked = std::chrono::steady_clock::now();
    display_->askToClose(*mainWindow_);
    const auto status = lentora->waitForExit(5s);

    ASSERT_TRUE(status) << "Lentora did not end within 5 s of the close request";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 3s);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    const pid_t program = launched.begin()->first;
    ASSERT_TRUE(ownChildren().count(program)) << "the launched program did not run on";
    killAndReap(program);
}

TEST_F(OnDisplay, InvalidCommandLineStartsNothingAndLentoraStaysUntilItsWindowIsClosed) {
    auto lentora = startFocused({"/SPEED=99"}, 0);
    ASSERT_TRUE(mainWindow_) << captions(lentora->pid());

    // The activation that would launch has happened; give it time to act.
    std::this_thread::sleep_for(2s);
    EXPECT_FALSE(std::filesystem::exists(sandbox_.record)) << "the program was started";
    ASSERT_TRUE(lentora->running()) << "Lentora did not stay";

    display_->askToClose(*mainWindow_);
    const auto status = lentora->waitForExit(5s);
    ASSERT_TRUE(status) << "Lentora did not end when its window was closed";
    // Nothing was started: the status of a refused command line.
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << *status;
}
