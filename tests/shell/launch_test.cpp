// SPDX-License-Identifier: GPL-3.0-or-later
// Launching real programs from the launch box and the command line, paced
// by a short timer: the phases, the progress bar, the burners, the end.
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>

#include "launch/launcher.h"
#include "test_paths.h"
#include "window_fixture.h"

using namespace shell;
using launch::applicationDirectory;
using launch::launchArguments;
using launch::LaunchEntry;
using widgets::FakeTrayShell;

namespace {
struct Launching : LaunchFixture {
    static LaunchEntry entry(std::string path, std::string factor, std::string runFor, std::string wait,
                             std::string close = "noclose", std::string minimize = "notminimized") {
        return {"child",         std::move(path),  std::move(factor),  std::move(runFor),
                std::move(wait), std::move(close), std::move(minimize)};
    }
};
}  // namespace

TEST_F(Launching, NoWaitNoRunForBurnsUntilTheApplicationEnds) {  // label: threads
    setenv("LENTORA_CHILD_SLEEP_MS", "600", 1);
    Tform1& f = openWithEntry(entry(testChildPath(), "30", "0", "0"));
    ui(f).TrackBar1->setValue(12);
    f.LaunchClick();
    EXPECT_TRUE(running());
    EXPECT_FALSE(ui(f).Button1->isEnabled());
    EXPECT_FALSE(ui(f).TrackBar1->isEnabled());
    EXPECT_FALSE(ui(f).Launch->isEnabled());
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 30%");
    ASSERT_TRUE(waitFor([&] { return burner().suspendCount() == 0; }));
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(ui(f).TrackBar1->value(), 12);
    EXPECT_EQ(burner().Factor(), 12);
    expectWindowBack(f);
}

// The phases step by step are the watcher's own tests; here the bar the
// window shows, and the real program left running.
TEST_F(Launching, RunForFallsThenStopsWhileTheApplicationRunsOn) {  // label: threads
    setenv("LENTORA_CHILD_SLEEP_MS", "4000", 1);
    Tform1& f = openWithEntry(entry(testChildPath(), "20", "2", "0"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(progress, (std::vector<int>{100, 50, 0}));
    const pid_t pid = childPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "the application outlives its watch";
    // It is reaped when it ends: no zombie is left.
    kill(pid, SIGKILL);
    EXPECT_TRUE(waitFor([&] { return kill(pid, 0) != 0; }, 5000));
}

TEST_F(Launching, CloseFlagEndsTheProgramAtTheNextTickAlsoWhenTheStartFails) {  // label: threads
    Tform1& f = openWithEntry(entry(dir.path().toStdString() + "/missing/program", "20", "0", "5", "close"));
    f.show();
    f.LaunchClick();
    EXPECT_TRUE(waitFor([&] { return !f.isVisible(); }));
    EXPECT_TRUE(recorded().isEmpty());
    EXPECT_EQ(burner().suspendCount(), 1);
    const QString shown = "Cannot start " + dir.path() + "/missing/program: No such file or directory";
    EXPECT_TRUE(waitFor([&] { return ui(f).StatusBar1->text() == shown; })) << ui(f).StatusBar1->text().toStdString();
    EXPECT_TRUE(dialogs.shown.empty()) << "a start with the close flag waits on no dialog";
}

// The program starts in its own directory, also where an argument holds a
// slash, and gets its arguments as quoted.
TEST_F(Launching, ArgumentsAndWorkingDirectoryAsTheApplicationSawThem) {  // label: threads
    QDir(dir.path()).mkdir("game dir");
    const QString copy = dir.path() + "/game dir/child";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testChildPath()), copy));
    const QString childDir = QFileInfo(QString::fromStdString(testChildPath())).path();
    const std::pair<std::string, QStringList> cases[] = {
        {copy.toStdString() + " a \"b c\"", {"arg=a", "arg=b c", "cwd=" + dir.path() + "/game dir", "end"}},
        {testChildPath() + " --file=/etc/hostname", {"arg=--file=/etc/hostname", "cwd=" + childDir, "end"}},
    };
    for (const auto& [command, seen] : cases) {
        SCOPED_TRACE(command);
        QFile::remove(record);
        form.reset();
        Tform1& f = openWithEntry(entry(command, "10", "0", "0"));
        f.LaunchClick();
        ASSERT_TRUE(watchEnded(f));
        EXPECT_EQ(recorded(), seen);
    }
}

// Closing the window while the watch waits for its program neither waits
// for the program nor leaves the burners on; the watch ends on its own later.
TEST_F(Launching, ClosingDuringAWatchWaitsForNothing) {  // label: threads
    setenv("LENTORA_CHILD_SLEEP_MS", "30000", 1);
    Tform1& f = openWithEntry(entry(testChildPath(), "20", "0", "0"));
    f.LaunchClick();
    ASSERT_TRUE(waitFor([&] { return childPid() > 0 && burner().suspendCount() == 0; }));
    form.reset();
    EXPECT_EQ(burner().suspendCount(), 1);
    kill(childPid(), SIGKILL);
    EXPECT_TRUE(waitFor([&] { return launch::Launcher::joinEndedWatches() == 0; }, 5000)) << "the watch ends";
    EXPECT_EQ(burner().suspendCount(), 1) << "the detached watch reached the burners";
}

TEST_F(Launching, ASecondLaunchIsRefusedWhileOneRuns) {  // label: threads
    setenv("LENTORA_CHILD_SLEEP_MS", "800", 1);
    Tform1& f = openWithEntry(entry(testChildPath(), "10", "0", "0"));
    f.LaunchClick();
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded().count("end"), 1);
}

TEST_F(Launching, MinimizeFlagHidesToTheTrayAndStaysThere) {  // label: threads
    Tform1& f = openWithEntry(entry(testChildPath(), "10", "0", "0", "noclose", "minimized"));
    f.show();
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_TRUE(f.isMinimized());
    ASSERT_FALSE(tray->requests.empty());
    EXPECT_EQ(tray->requests.front().op, FakeTrayShell::Op::Add);
    EXPECT_STREQ(tray->requests.front().data.szTip, "Lentora 2.05");
}

TEST_F(Launching, FocusingTheListLaunchesTheSelectedEntry) {  // label: threads
    Tform1& f = openWithEntry(entry(testChildPath(), "10", "0", "0"));
    f.show();
    f.DownClick();
    QApplication::setActiveWindow(&f);
    ui(f).Propertybutton->setFocus();
    QTest::keyClick(ui(f).Propertybutton, Qt::Key_Tab);  // to Launch
    EXPECT_FALSE(running());
    QTest::keyClick(ui(f).Launch, Qt::Key_Tab);  // to the list
    ASSERT_TRUE(ui(f).ListBox1->hasFocus());
    EXPECT_TRUE(running());
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded().count("end"), 1);
}

// The window getting the focus back (from another program, a menu, a dialog,
// the tray) gives it to the list without moving it there: no launch.
TEST_F(Launching, TheWindowGettingTheFocusBackLaunchesNothing) {  // label: threads
    Tform1& f = openWithEntry(entry(testChildPath(), "10", "0", "0"));
    f.show();
    f.DownClick();
    ui(f).ListBox1->setFocus();
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(&f);
    QFocusEvent menuClosed(QEvent::FocusIn, Qt::PopupFocusReason);
    QApplication::sendEvent(ui(f).ListBox1, &menuClosed);
    EXPECT_FALSE(running());
}

TEST_F(Launching, CommandLineLaunchesOnTheFirstActivationOnly) {  // label: threads
    Tform1& f =
        openWithEntry(entry("unused", "0", "0", "0"), {"/SPEED=50", "/WAIT=1", "/RUNFOR=2", testChildPath(), "x"});
    EXPECT_EQ(ui(f).StatusBar1->text(),
              QString::fromStdString("runfor:2   wait:1   speed:50   APP:" + testChildPath() + " x "));
    f.FormActivate();
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 50%");
    ASSERT_TRUE(watchEnded(f));
    f.FormActivate();
    EXPECT_FALSE(running()) << "launched again";
    EXPECT_EQ(recorded(),
              (QStringList{"arg=x", "cwd=" + QFileInfo(QString::fromStdString(testChildPath())).path(), "end"}));
}

TEST(ApplicationDirectory, IsTheResolvedProgramsOwnDirectoryWhateverTheArguments) {
    const std::string child = testChildPath();
    const std::string childDir = child.substr(0, child.rfind('/') + 1);
    const auto directoryOf = [](const std::string& text) { return applicationDirectory(launchArguments({text})); };
    EXPECT_EQ(directoryOf(child + " --config=/etc/x"), childDir);
    EXPECT_EQ(directoryOf(" " + child), childDir) << "a leading blank";
    EXPECT_EQ(directoryOf("true /tmp/file"), "");
    EXPECT_EQ(directoryOf("true"), "");
}

// Thread creation fails on this thread as for a user at the system's limit of
// processes: an unused real user, the limit 0, the rights that lift it off.
// Root only; the raw calls change this thread alone.
struct ThreadLimitReached {
    rlimit saved{};
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{}, lowered[2]{};
    ThreadLimitReached() {
        getrlimit(RLIMIT_NPROC, &saved);
        const rlimit none{0, saved.rlim_max};
        setrlimit(RLIMIT_NPROC, &none);
        syscall(SYS_setresuid, 54321, -1, -1);
        syscall(SYS_capget, &header, caps);
        lowered[0] = caps[0];
        lowered[0].effective &= ~((1u << CAP_SYS_RESOURCE) | (1u << CAP_SYS_ADMIN));
        syscall(SYS_capset, &header, lowered);
    }
    ~ThreadLimitReached() {
        syscall(SYS_capset, &header, caps);
        syscall(SYS_setresuid, 0, -1, -1);
        setrlimit(RLIMIT_NPROC, &saved);
    }
};

// No thread can watch the launch: it ends at once with the reason, and the
// close flag still ends the program.
TEST_F(Launching, AWatchThatCannotStartEndsTheLaunch) {  // label: threads
    if (geteuid() != 0) GTEST_SKIP() << "needs root to limit one thread";
    Tform1& f = openWithEntry(entry(testChildPath(), "40", "0", "0", "close"));
    {
        ThreadLimitReached limit;
        try {
            std::thread([] {}).join();
            GTEST_SKIP() << "the limit does not hold here";
        } catch (const std::system_error&) {}
        f.LaunchClick();
    }
    expectWindowBack(f);
    const QString shown =
        QString::fromStdString("Cannot start " + testChildPath() + ": Resource temporarily unavailable");
    EXPECT_TRUE(waitFor([&] { return ui(f).StatusBar1->text() == shown; })) << ui(f).StatusBar1->text().toStdString();
    EXPECT_TRUE(ui(f).secticker->isActive()) << "the next tick ends the program";
    EXPECT_EQ(f.exitStatus(), kOwnFailureStatus);
}

// The fault: a burner that could not be started gave a fixed text; the
// system's reason now reaches the error box, and the window stays stopped.
TEST_F(Launching, AStartWithoutBurnersSaysWhy) {  // label: threads
    if (geteuid() != 0) GTEST_SKIP() << "needs root to limit one thread";
    Tform1& f = open({});
    {
        ThreadLimitReached limit;
        f.Button1Click();
    }
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_TRUE(dialogs.shown.back().text.contains("burner threads (Resource temporarily unavailable)."))
        << dialogs.shown.back().text.toStdString();
    EXPECT_EQ(ui(f).Button1->text(), "Start!!!");
}
