// Launching real programs from the launch box and the command line, paced
// by a short timer: the phases, the progress bar, the burners, the end.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstdlib>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "launch/launchlist.h"
#include "test_paths.h"
#include "window_fixture.h"

namespace {
std::string childPath() { return testChildPath(); }

struct Launching : WindowFixture {
    QString record;
    std::vector<int> progress;

    Launching() {
        record = dir.path() + "/record.txt";
        setenv("LENTORA_CHILD_RECORD", record.toLocal8Bit().constData(), 1);
        setenv("LENTORA_CHILD_SLEEP_MS", "0", 1);
    }
    ~Launching() override {
        unsetenv("LENTORA_CHILD_RECORD");
        unsetenv("LENTORA_CHILD_SLEEP_MS");
    }

    Tform1& openWithEntry(LaunchEntry entry, std::vector<std::string> parameters = {}) {
        Tform1& f = open(std::move(parameters));
        f.launchList().append(std::move(entry));
        f.ListBox1->setCurrentIndex(f.launchList().index(f.launchList().count() - 1));
        QObject::connect(f.ProgressBar1, &QProgressBar::valueChanged, [this](int v) { progress.push_back(v); });
        return f;
    }

    static LaunchEntry entry(std::string path, std::string factor, std::string runFor, std::string wait,
                             std::string close = "noclose", std::string minimize = "notminimized") {
        return {"child", std::move(path), std::move(factor), std::move(runFor), std::move(wait), std::move(close),
                std::move(minimize)};
    }

    QStringList recorded() {
        QFile file(record);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    bool watchEnded(Tform1& f) {
        return waitFor([&] { return f.watcher() && f.watcher()->finished() && !f.slowDownRunning(); });
    }
};
}  // namespace

TEST_F(Launching, NoWaitNoRunForBurnsUntilTheApplicationEnds) {
    setenv("LENTORA_CHILD_SLEEP_MS", "600", 1);
    Tform1& f = openWithEntry(entry(childPath(), "30", "0", "0"));
    f.TrackBar1->setValue(12);
    f.LaunchClick();
    EXPECT_TRUE(f.slowDownRunning());
    EXPECT_FALSE(f.Button1->isEnabled());
    EXPECT_FALSE(f.TrackBar1->isEnabled());
    EXPECT_FALSE(f.Launch->isEnabled());
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 30%");
    ASSERT_TRUE(waitFor([&] { return f.burner().SuspendCount() == 0; }));
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(f.burner().SuspendCount(), 1);
    EXPECT_EQ(f.TrackBar1->value(), 12);
    EXPECT_EQ(f.burner().Factor(), 12);
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.Launch->isEnabled());
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
    for (int v : progress) EXPECT_EQ(v, 0);
    EXPECT_EQ(f.timing().waitSeconds, 0);
    EXPECT_FALSE(f.secticker->isActive());
}

TEST_F(Launching, WaitPhaseClimbsThenBurns) {
    setenv("LENTORA_CHILD_SLEEP_MS", "3000", 1);
    Tform1& f = openWithEntry(entry(childPath(), "20", "0", "3"));
    f.LaunchClick();
    // The application runs first; the burners stay off while the bar climbs
    // 0 (already shown), 33, 66, and start at the next tick.
    ASSERT_TRUE(waitFor([&] { return progress.size() >= 2; }));
    EXPECT_EQ(f.burner().SuspendCount(), 1);
    EXPECT_EQ(recorded().last(), "end") << "started before the wait";
    ASSERT_TRUE(waitFor([&] { return f.burner().SuspendCount() == 0; }));
    EXPECT_EQ(progress, (std::vector<int>{33, 66}));
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(f.ProgressBar1->value(), 0);
}

TEST_F(Launching, RunForFallsThenStopsWhileTheApplicationRunsOn) {
    setenv("LENTORA_CHILD_SLEEP_MS", "4000", 1);
    Tform1& f = openWithEntry(entry(childPath(), "20", "4", "0"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(std::vector<int>(progress.begin(), progress.begin() + 4), (std::vector<int>{100, 75, 50, 25}));
    EXPECT_EQ(f.ProgressBar1->value(), 0);
    const pid_t pid = f.watcher()->applicationPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "the application outlives its watch";
    // It is reaped when it ends: no zombie is left.
    kill(pid, SIGKILL);
    EXPECT_TRUE(waitFor([&] { return kill(pid, 0) != 0; }, 5000));
}

TEST_F(Launching, CloseFlagEndsTheProgramAtTheNextTickAlsoWhenTheStartFails) {
    Tform1& f = openWithEntry(entry(dir.path().toStdString() + "/missing/program", "20", "0", "5", "close"));
    f.show();
    f.LaunchClick();
    EXPECT_TRUE(waitFor([&] { return !f.isVisible(); }));
    EXPECT_TRUE(f.watcher()->terminateRequest);
    EXPECT_TRUE(recorded().isEmpty());
    EXPECT_EQ(f.burner().SuspendCount(), 1);
}

TEST_F(Launching, ApplicationEndingDuringTheWaitEndsTheWatch) {
    Tform1& f = openWithEntry(entry(childPath(), "20", "0", "30"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_LT(progress.size(), 5u);
    EXPECT_EQ(f.burner().SuspendCount(), 1);
}

TEST_F(Launching, NegativeWaitStartsTheApplicationBeforeBurning) {
    Tform1& f = openWithEntry(entry(childPath(), "20", "0", "-3"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded().last(), "end");
}

TEST_F(Launching, ArgumentsAndWorkingDirectoryAsTheApplicationSawThem) {
    QDir(dir.path()).mkdir("game dir");
    const QString copy = dir.path() + "/game dir/child";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(childPath()), copy));
    Tform1& f = openWithEntry(entry(copy.toStdString() + " a \"b c\"", "10", "0", "0"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded(), (QStringList{"arg=a", "arg=b c", "cwd=" + dir.path() + "/game dir", "end"}));
}

TEST_F(Launching, ASecondLaunchIsRefusedWhileOneRuns) {
    setenv("LENTORA_CHILD_SLEEP_MS", "800", 1);
    Tform1& f = openWithEntry(entry(childPath(), "10", "0", "0"));
    f.LaunchClick();
    waitforapplication* first = f.watcher();
    f.LaunchClick();
    EXPECT_EQ(f.watcher(), first);
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded().count("end"), 1);
}

TEST_F(Launching, MinimizeFlagHidesToTheTrayAndStaysThere) {
    Tform1& f = openWithEntry(entry(childPath(), "10", "0", "0", "noclose", "minimized"));
    f.show();
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_TRUE(f.isMinimized());
    ASSERT_FALSE(tray->requests.empty());
    EXPECT_EQ(tray->requests.front().op, FakeTrayShell::Op::Add);
    EXPECT_STREQ(tray->requests.front().data.szTip, "Lentora 2.05");
}

TEST_F(Launching, FocusingTheListLaunchesTheSelectedEntry) {
    Tform1& f = openWithEntry(entry(childPath(), "10", "0", "0"));
    f.show();
    f.DownClick();
    QApplication::setActiveWindow(&f);
    f.Propertybutton->setFocus();
    QTest::keyClick(f.Propertybutton, Qt::Key_Tab);  // to Launch
    EXPECT_EQ(f.watcher(), nullptr);
    QTest::keyClick(f.Launch, Qt::Key_Tab);  // to the list
    ASSERT_TRUE(f.ListBox1->hasFocus());
    ASSERT_NE(f.watcher(), nullptr);
    ASSERT_TRUE(watchEnded(f));
}

TEST_F(Launching, CommandLineLaunchesOnTheFirstActivationOnly) {
    Tform1& f = openWithEntry(entry("unused", "0", "0", "0"),
                              {"/SPEED=50", "/WAIT=1", "/RUNFOR=2", childPath(), "x"});
    EXPECT_EQ(f.StatusBar1->text(),
              QString::fromStdString("runfor:2   wait:1   speed:50   APP:" + childPath() + " x "));
    f.FormActivate();
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05 - Running at 50%");
    ASSERT_TRUE(watchEnded(f));
    waitforapplication* first = f.watcher();
    f.FormActivate();
    EXPECT_EQ(f.watcher(), first);
    EXPECT_EQ(recorded(), (QStringList{"arg=x", "cwd=" + QFileInfo(QString::fromStdString(childPath())).path(), "end"}));
}

TEST_F(Launching, TheRealOneSecondTimerPacesTheRunFor) {
    setenv("LENTORA_CHILD_SLEEP_MS", "5000", 1);
    form = std::make_unique<Tform1>([&] {
        Services s = services();
        s.tickIntervalMs = 1000;
        return s;
    }());
    Tform1& f = *form;
    f.launchList().append(entry(childPath(), "10", "2", "0"));
    f.ListBox1->setCurrentIndex(f.launchList().index(0));
    const auto start = std::chrono::steady_clock::now();
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(ms.count(), 900);
    EXPECT_LT(ms.count(), 4000);
    kill(f.watcher()->applicationPid(), SIGKILL);
}

TEST(ApplicationDirectory, IsTheResolvedProgramsOwnDirectoryWhateverTheArguments) {
    const std::string child = testChildPath();
    const std::string childDir = child.substr(0, child.rfind('/') + 1);
    const auto directoryOf = [](const std::string& text) { return applicationDirectory(launchArguments({text})); };
    EXPECT_EQ(directoryOf(child + " --config=/etc/x"), childDir);
    EXPECT_EQ(directoryOf(child), childDir);
    EXPECT_EQ(directoryOf(" " + child), childDir) << "a leading blank";
    EXPECT_EQ(directoryOf("true /tmp/file"), "");
    EXPECT_EQ(directoryOf("true"), "");
    // A relative path with a blank, found from our own directory.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub dir"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(child), dir.path() + "/sub dir/prog"));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const std::string relative = directoryOf("sub dir/prog arg");
    QDir::setCurrent(saved);
    EXPECT_EQ(relative, "sub dir/");
}

TEST_F(Launching, ArgumentsWithSlashesDoNotChangeWhereTheProgramStarts) {
    Tform1& f = openWithEntry(entry(childPath() + " --file=/etc/hostname", "10", "0", "0"));
    f.LaunchClick();
    ASSERT_TRUE(watchEnded(f));
    EXPECT_EQ(recorded(), (QStringList{"arg=--file=/etc/hostname",
                                       "cwd=" + QFileInfo(QString::fromStdString(childPath())).path(), "end"}));
}

// The command line's parameters reach the program as they were given: blanks,
// quotes and empty ones, a path holding a quote, an unquoted path with blanks.
TEST_F(Launching, CommandLineArgumentsArriveAsGiven) {
    QDir(dir.path()).mkpath("say \"it\"");
    QDir(dir.path()).mkpath("old games");
    const QString quoted = dir.path() + "/say \"it\"", spaced = dir.path() + "/old games";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(childPath()), quoted + "/child"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(childPath()), spaced + "/child"));
    const struct {
        std::vector<std::string> parameters;
        QStringList seen;
    } cases[] = {
        {{(quoted + "/child").toStdString(), "say \"hi there\"", "", "a\"b", "--title=\"x\""},
         {"arg=say \"hi there\"", "arg=", "arg=a\"b", "arg=--title=\"x\"", "cwd=" + quoted}},
        {{(dir.path() + "/old").toStdString(), "games/child", "x"}, {"arg=x", "cwd=" + spaced}},
    };
    for (const auto& c : cases) {
        QFile::remove(record);
        std::vector<std::string> parameters = {"/SPEED=5"};
        parameters.insert(parameters.end(), c.parameters.begin(), c.parameters.end());
        Tform1& f = open(parameters);
        f.FormActivate();
        ASSERT_TRUE(watchEnded(f));
        EXPECT_EQ(recorded(), c.seen + QStringList{"end"});
    }
}

// A program that cannot start says why in the status bar, without a dialog,
// and the window leaves its running state.
TEST_F(Launching, StartFailureIsShownAndTheControlsComeBack) {
    const QString plain = dir.path() + "/plain";
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const struct {
        QString path, reason;
    } cases[] = {{dir.path() + "/missing", "No such file or directory"},
                 {dir.path(), "Is a directory"},
                 {plain, "Permission denied"}};
    for (const auto& c : cases) {
        Tform1& f = openWithEntry(entry(c.path.toStdString(), "30", "0", "0"));
        f.LaunchClick();
        ASSERT_TRUE(watchEnded(f));
        EXPECT_TRUE(waitFor([&] { return f.StatusBar1->text() == "Cannot start " + c.path + ": " + c.reason; }))
            << f.StatusBar1->text().toStdString();
        EXPECT_TRUE(f.Launch->isEnabled() && f.Button1->isEnabled() && f.TrackBar1->isEnabled());
        EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// The list launches when the focus moves to it from another control, never
// when the window gets the focus back (another program, a menu, a dialog,
// the tray), so an entry that minimizes the window cannot trap it.
TEST_F(Launching, OnlyFocusMovedFromAnotherControlLaunches) {
    Tform1& f = openWithEntry(entry(childPath(), "10", "0", "0"));
    f.show();
    f.DownClick();
    f.ListBox1->setFocus();
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(f.ListBox1->hasFocus());
    EXPECT_EQ(f.watcher(), nullptr) << "the window's activation launched";
    const struct {
        Qt::FocusReason reason;
        bool launches;
    } cases[] = {{Qt::TabFocusReason, true},          {Qt::BacktabFocusReason, true},
                 {Qt::MouseFocusReason, true},        {Qt::ShortcutFocusReason, true},
                 {Qt::ActiveWindowFocusReason, false}, {Qt::PopupFocusReason, false},
                 {Qt::MenuBarFocusReason, false},     {Qt::OtherFocusReason, false}};
    for (const auto& c : cases) {
        QFocusEvent focusIn(QEvent::FocusIn, c.reason);
        QApplication::sendEvent(f.ListBox1, &focusIn);
        EXPECT_EQ(f.slowDownRunning(), c.launches) << "focus reason " << c.reason;
        if (f.slowDownRunning()) {
            ASSERT_TRUE(watchEnded(f));
        }
    }
}

namespace {
// Thread creation fails on the calling thread as it fails for a user at the
// system's limit of processes: its real user becomes an unused one, the
// limit 0, and the rights that lift the limit are off. Root only; other
// threads keep root and are not limited. The raw calls change this thread only.
class ThreadLimitReached {
public:
    ThreadLimitReached() {
        getrlimit(RLIMIT_NPROC, &saved_);
        const rlimit none{0, saved_.rlim_max};
        setrlimit(RLIMIT_NPROC, &none);
        syscall(SYS_setresuid, 54321, -1, -1);
        syscall(SYS_capget, &header_, caps_);
        __user_cap_data_struct lowered[2] = {caps_[0], caps_[1]};
        lowered[0].effective &= ~((1u << CAP_SYS_RESOURCE) | (1u << CAP_SYS_ADMIN));
        syscall(SYS_capset, &header_, lowered);
    }
    ~ThreadLimitReached() {
        syscall(SYS_capset, &header_, caps_);
        syscall(SYS_setresuid, 0, -1, -1);
        setrlimit(RLIMIT_NPROC, &saved_);
    }
    static bool holds() {
        pthread_t thread;
        const int error = pthread_create(&thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr);
        if (error == 0) pthread_join(thread, nullptr);
        return error == EAGAIN;
    }

private:
    rlimit saved_{};
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps_[2]{};
};
}  // namespace

// No thread can watch the launch: it ends at once, with the reason, and the
// close flag still ends the program.
TEST_F(Launching, AWatchThatCannotStartEndsTheLaunch) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to limit one thread";
    Tform1& f = openWithEntry(entry(childPath(), "40", "0", "0", "close"));
    f.TrackBar1->setValue(12);
    {
        ThreadLimitReached limit;
        if (!limit.holds()) GTEST_SKIP() << "the limit does not hold here";
        f.LaunchClick();
    }
    ASSERT_FALSE(ThreadLimitReached::holds()) << "the limit outlived its scope";
    EXPECT_FALSE(f.slowDownRunning());
    EXPECT_TRUE(f.Launch->isEnabled() && f.Button1->isEnabled() && f.TrackBar1->isEnabled());
    EXPECT_EQ(f.TrackBar1->value(), 12);
    EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
    EXPECT_EQ(f.burner().SuspendCount(), 1);
    const QString shown = QString::fromStdString("Cannot start " + childPath() + ": Resource temporarily unavailable");
    EXPECT_TRUE(waitFor([&] { return f.StatusBar1->text() == shown; })) << f.StatusBar1->text().toStdString();
    EXPECT_TRUE(f.watcher()->terminateRequest);
    EXPECT_TRUE(f.secticker->isActive());
    EXPECT_TRUE(recorded().isEmpty());
}
