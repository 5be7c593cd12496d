// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window on fakes: a known processor (no CPUID, 500 MHz from the
// machine key), a per-user store in memory, a temporary working directory,
// scripted dialogs and tray, short ticks. Child processes and burners are real.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
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
#include <functional>
#include <memory>
#include <thread>

#include "about_box.h"
#include "engine/benchmark.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_help_viewer.h"
#include "fakes/fake_machine_registry.h"
#include "fakes/fake_processor.h"
#include "fakes/fake_system.h"
#include "fakes/fake_tray_shell.h"
#include "fakes/fake_user_registry.h"
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
    QLabel* const Label1 = named<QLabel>("Label1");
    QLabel* const Label3 = named<QLabel>("Label3");
    QLabel* const Label4 = named<QLabel>("Label4");
    QLabel* const Label5 = named<QLabel>("Label5");
    QLabel* const Label6 = named<QLabel>("Label6");
    QPushButton* const Button1 = named<QPushButton>("Button1");
    QSlider* const TrackBar1 = named<QSlider>("TrackBar1");
    QProgressBar* const ProgressBar1 = named<QProgressBar>("ProgressBar1");
    QFrame* const Panel4 = named<QFrame>("Panel4");
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
    QAction* const TunetoyourCPU1 = named<QAction>("TunetoyourCPU1");
    QAction* const AccurateSlowdown1 = named<QAction>("AccurateSlowdown1");
    QAction* const Contents1 = named<QAction>("Contents1");
    QAction* const Commandline1 = named<QAction>("Commandline1");
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

    WindowFixture() {
        registry->createKey(engine::kRegistryKey);
        registry->writeDword(engine::kRegistryKey, engine::kBenchValue, 400);  // short burner cycles
    }

    ~WindowFixture() override {
        if (form && form->slowDownRunning()) form->StopSlowDown(0);
    }

    shell::Services services(std::vector<std::string> parameters = {}) {
        shell::Services s{.clock = platform::systemClock(),
                          .system = system,
                          .registry = *registry,
                          .processor = processor,
                          .machineRegistry = *machine,
                          .processes = platform::processStarter(),
                          .dialogs = dialogs,
                          .trayShell = tray,
                          .help = help,
                          .parameters = std::move(parameters)};
        s.launchFile = (dir.path() + "/lentora.ini").toStdString();
        s.startupSleepMs = 0;
        s.benchmarkDraws = 200'000;
        s.processors = {0};
        s.tickIntervalMs = 40;
        return s;
    }

    shell::Tform1& open(std::vector<std::string> parameters = {}) {
        form = std::make_unique<shell::Tform1>(services(std::move(parameters)));
        return *form;
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
