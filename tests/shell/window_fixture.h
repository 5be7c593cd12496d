// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window on fakes: a known processor (no CPUID, 500 MHz from the
// machine key), a per-user store in memory, a temporary working directory,
// scripted dialogs and tray, short ticks. Child processes and burners are real.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "engine/benchmark.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_help_viewer.h"
#include "fakes/fake_machine_registry.h"
#include "fakes/fake_processor.h"
#include "fakes/fake_system.h"
#include "fakes/fake_tray_shell.h"
#include "fakes/fake_user_registry.h"
#include "shell/helpviewer.h"
#include "shell/mainwindow.h"

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
