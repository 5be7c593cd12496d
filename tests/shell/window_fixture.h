// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window on fakes: a known processor (no CPUID, 500 MHz from the
// machine key), a per-user store in memory, a temporary working directory,
// scripted dialogs and tray, short ticks. Child processes and burners are
// real; the test hands the window its slow-down, to watch the burners.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "about_box.h"
#include "engine/benchmark.h"
#include "engine/slowdown.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_help_viewer.h"
#include "fakes/fake_machine_registry.h"
#include "fakes/fake_processor.h"
#include "fakes/fake_system.h"
#include "fakes/fake_tray_shell.h"
#include "fakes/fake_user_registry.h"
#include "launch/launch_list.h"
#include "properties_form.h"
#include "shell/help_viewer.h"
#include "shell/main_window.h"
#include "widgets/gauge.h"
#include "widgets/task_icon.h"

// The window's controls, found by their names as a user's script finds them.
struct WindowControls {
    explicit WindowControls(QObject& window) : window_(window) {}
    template <typename T>
    T* named(const char* name) const {
        return window_.findChild<T*>(name);
    }
    QObject& window_;  // first: the controls are looked up in it
    widgets::TGauge* const Gauge1 = named<widgets::TGauge>("Gauge1");
    QLabel* const Label3 = named<QLabel>("Label3");
    QLabel* const Label4 = named<QLabel>("Label4");
    QLabel* const Label5 = named<QLabel>("Label5");
    QPushButton* const Button1 = named<QPushButton>("Button1");
    QSlider* const TrackBar1 = named<QSlider>("TrackBar1");
    QProgressBar* const ProgressBar1 = named<QProgressBar>("ProgressBar1");
    QLabel* const benchtime = named<QLabel>("benchtime");
    QPushButton* const Down = named<QPushButton>("Down");
    QPushButton* const Up = named<QPushButton>("Up");
    QListView* const ListBox1 = named<QListView>("ListBox1");
    QPushButton* const Add = named<QPushButton>("Add");
    QPushButton* const Remove = named<QPushButton>("Remove");
    QPushButton* const Propertybutton = named<QPushButton>("Propertybutton");
    QPushButton* const Launch = named<QPushButton>("Launch");
    QLabel* const StatusBar1 = named<QLabel>("StatusBar1");
    QLabel* const RightsIndicator = named<QLabel>("RightsIndicator");
    QLabel* const Readout = named<QLabel>("Readout");
    QAction* const TunetoyourCPU1 = named<QAction>("TunetoyourCPU1");
    QAction* const AccurateSlowdown1 = named<QAction>("AccurateSlowdown1");
    QTimer* const secticker = named<QTimer>("secticker");
    widgets::TTaskIcon* const tiTray = named<widgets::TTaskIcon>("tiTray");
    shell::TAboutBox* const AboutBox = named<shell::TAboutBox>("AboutBox");
    shell::TProperties* const Properties = named<shell::TProperties>("Properties");
};

inline WindowControls ui(QObject& window) { return WindowControls(window); }

struct WindowFixture : ::testing::Test {
    QTemporaryDir dir;
    platform::FakeSystemControl system;
    std::unique_ptr<platform::FakeUserRegistry> registry = platform::fakeUserRegistry();
    platform::FakeProcessor processor;
    std::unique_ptr<platform::MachineRegistry> machine =
        platform::fakeMachineRegistry(std::map<std::string, uint32_t>{{"~MHz", 500}});
    widgets::FakeDialogs dialogs;
    std::shared_ptr<widgets::FakeTrayShell> tray = std::make_shared<widgets::FakeTrayShell>();
    shell::FakeHelpViewer help;
    std::unique_ptr<shell::Tform1> form;
    engine::TSlowDown* slowDown = nullptr;  // the window's, made afresh by open()
    // What open() hands the window besides the fakes above; a test may change them first.
    platform::UserRegistry* store = nullptr;  // else the memory store `registry`
    std::filesystem::path root() const { return dir.path().toStdString(); }
    std::filesystem::path launchFile = root() / "lentora.ini";
    int tickIntervalMs = 40;

    WindowFixture() {
        EXPECT_TRUE(registry->createKey(engine::kRegistryKey));
        EXPECT_TRUE(registry->writeDword(engine::kRegistryKey, engine::kBenchValue, 400));  // short burner cycles
    }

    ~WindowFixture() override {
        if (form && running()) form->StopSlowDown(0);
    }

    shell::Services services(std::vector<std::string> parameters) {
        shell::Services s{.clock = platform::systemClock(),
                          .system = system,
                          .registry = store ? *store : *registry,
                          .processor = processor,
                          .machineRegistry = *machine,
                          .processes = platform::processStarter(),
                          .dialogs = dialogs,
                          .trayShell = tray,
                          .help = help,
                          .parameters = std::move(parameters)};
        s.launchFile = launchFile;
        s.startupSleepMs = 0;
        s.benchmarkDraws = 200'000;
        s.processors = {0};
        s.tickIntervalMs = tickIntervalMs;
        s.slowDown = slowDown = keptSlowDown(s);
        return s;
    }

    shell::Tform1& open(std::vector<std::string> parameters = {}) {
        form = std::make_unique<shell::Tform1>(services(std::move(parameters)));
        return *form;
    }

    // Its burners are never joined, as in the program.
    static engine::TSlowDown* keptSlowDown(const shell::Services& s) {
        static auto* kept = new std::vector<std::unique_ptr<engine::TSlowDown>>;
        return kept->emplace_back(std::make_unique<engine::TSlowDown>(s.system, s.registry, s.clock)).get();
    }
    bool running() const { return slowDown->Running(); }
    engine::TBurner& burner() const { return slowDown->Burner(); }
    // The entries the list box shows.
    static launch::LaunchList& launchList(shell::Tform1& f) {
        return *qobject_cast<launch::LaunchList*>(ui(f).ListBox1->model());
    }

    // The window stopped and ready for the user: as at the start, after a
    // stop, after a launch's end and after every failure.
    void expectWindowBack(shell::Tform1& f) const {
        EXPECT_FALSE(running());
        EXPECT_EQ(burner().suspendCount(), 1);
        EXPECT_EQ(f.windowTitle(), "Lentora 2.05");
        EXPECT_EQ(ui(f).Button1->text(), "Start!!!");
        EXPECT_TRUE(f.isEnabled() && ui(f).Button1->isEnabled() && ui(f).TrackBar1->isEnabled());
        EXPECT_TRUE(ui(f).Launch->isEnabled() && ui(f).TunetoyourCPU1->isEnabled());
    }

    // Processes events until the condition holds or the time is up.
    static bool waitFor(const std::function<bool()>& condition, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
};

// Launches of the test child, which records its arguments, working
// directory and end in `record` and sleeps LENTORA_CHILD_SLEEP_MS first.
struct LaunchFixture : WindowFixture {
    QString record = dir.path() + "/record.txt";
    QString pids = dir.path() + "/pids.txt";
    std::vector<int> progress;  // the values the progress bar took

    LaunchFixture() {
        setenv("LENTORA_CHILD_RECORD", record.toLocal8Bit().constData(), 1);
        setenv("LENTORA_CHILD_SLEEP_MS", "0", 1);
        setenv("LENTORA_CHILD_PID_FILE", pids.toLocal8Bit().constData(), 1);
    }
    ~LaunchFixture() override {
        unsetenv("LENTORA_CHILD_RECORD");
        unsetenv("LENTORA_CHILD_SLEEP_MS");
        unsetenv("LENTORA_CHILD_PID_FILE");
    }

    // The window with the entry added to its list and selected; no child started yet.
    shell::Tform1& openWithEntry(launch::LaunchEntry entry, std::vector<std::string> parameters = {}) {
        QFile::remove(pids);
        shell::Tform1& f = open(std::move(parameters));
        launchList(f).append(std::move(entry));
        ui(f).ListBox1->setCurrentIndex(launchList(f).index(launchList(f).count() - 1));
        QObject::connect(ui(f).ProgressBar1, &QProgressBar::valueChanged, [this](int v) { progress.push_back(v); });
        return f;
    }

    QStringList recorded() const { return lines(record); }
    // The last child's process id; 0 before one started.
    pid_t childPid() const { return lines(pids).value(lines(pids).size() - 1).toInt(); }
    static QStringList lines(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // The window got the watch's end back: stopped, with the bar at zero,
    // which the watch sets last but for its ticker.
    bool watchEnded(shell::Tform1& f) const {
        return waitFor([&] { return !running() && ui(f).Button1->isEnabled() && ui(f).ProgressBar1->value() == 0; });
    }
};
