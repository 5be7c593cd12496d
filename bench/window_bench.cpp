// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a user feels it: how long a warm start takes (the per-user
// store present, as at every start after the first), and how quickly the
// window handles an input event while the burners run at the strongest factor.
//
// Runs offscreen in a temporary home; prints its figures.
#include <time.h>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "engine/kill_thread.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_help_viewer.h"
#include "fakes/fake_tray_shell.h"
#include "platform/clock.h"
#include "platform/processor.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "shell/help_viewer.h"
#include "shell/main_window.h"

using engine::EngineMode;
using shell::FakeHelpViewer;
using shell::HelpViewer;
using shell::Services;
using shell::Tform1;
using widgets::Dialogs;
using widgets::FakeDialogs;
using widgets::FakeTrayShell;

namespace {
Services realServices(platform::UserRegistry& registry, platform::MachineRegistry& machine, Dialogs& dialogs,
                      HelpViewer& help) {
    return Services{.clock = platform::systemClock(),
                    .system = platform::systemControl(),
                    .registry = registry,
                    .processor = platform::realProcessor(),
                    .machineRegistry = machine,
                    .processes = platform::processStarter(),
                    .dialogs = dialogs,
                    .trayShell = std::make_shared<FakeTrayShell>(),
                    .help = help};
}

struct Latencies {
    std::vector<double> fromPost;  // the window's thread only: waking up and handling
    std::vector<double> fromDue;   // also the sender's own wake-up, as the display server's
};

// Key presses posted to the window every 20 ms from a thread of its own, as
// the display server delivers input while the window waits in its event
// loop, until the window's thread has handled them. The sender is an
// ordinary thread: when it runs late, so would the display server.
Latencies inputLatencies(Tform1& form, int samples) {
    using namespace std::chrono;
    Latencies result;
    QEventLoop loop;
    std::thread sender([&] {
        const auto start = steady_clock::now();
        for (int i = 1; i <= samples; ++i) {
            const auto due = start + milliseconds(20 * i);
            std::this_thread::sleep_until(due);
            const auto posted = steady_clock::now();
            QMetaObject::invokeMethod(
                &form,
                [&, due, posted] {
                    QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
                    QApplication::sendEvent(form.findChild<QSlider*>("TrackBar1"), &press);
                    const auto handled = steady_clock::now();
                    result.fromPost.push_back(duration<double, std::milli>(handled - posted).count());
                    result.fromDue.push_back(duration<double, std::milli>(handled - due).count());
                    if (static_cast<int>(result.fromPost.size()) == samples) loop.quit();
                },
                Qt::QueuedConnection);
        }
    });
    loop.exec();
    sender.join();
    std::sort(result.fromPost.begin(), result.fromPost.end());
    std::sort(result.fromDue.begin(), result.fromDue.end());
    return result;
}

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A stopped Lentora, its window open and its event loop running, should use
// no processor time.
void idleUse(Tform1&) {
    const double before = processCpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("Processor time of the whole stopped program over 10 s: %.3f s\n", processCpuSeconds() - before);
}

void measure(Tform1& form, EngineMode mode, const char* name) {
    // As the Options menu switches it, so that the burners and the window's
    // thread get the scheduling the rights give this engine.
    QSlider* trackBar = form.findChild<QSlider*>("TrackBar1");
    form.findChild<QAction*>("AccurateSlowdown1")->setChecked(mode == EngineMode::Accurate);
    form.AccurateSlowdown1Click();
    trackBar->setValue(98);
    form.Button1Click();
    platform::sleepMs(300);
    const Latencies latencies = inputLatencies(form, 100);
    form.Button1Click();
    trackBar->setValue(0);
    const auto print = [name](const char* from, const std::vector<double>& ms) {
        std::printf("Input latency with the burners at 98 %% (%s), %s: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                    name, from, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
    };
    print("from posting", latencies.fromPost);
    print("from when it was due", latencies.fromDue);
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    auto registry = platform::openRegFile((home.path() + "/registry.reg").toStdString());
    auto machine = platform::cpuinfoRegistry();
    FakeDialogs dialogs;
    FakeHelpViewer help;

    QElapsedTimer timer;
    timer.start();
    { Tform1 first(realServices(*registry, *machine, dialogs, help)); }
    std::printf("Cold start (benchmark measured and stored): %.0f ms\n", timer.nsecsElapsed() / 1e6);
    timer.restart();
    Tform1 form(realServices(*registry, *machine, dialogs, help));
    std::printf(
        "Warm start (store present): %.0f ms, of which 500 ms is the start-up pause and about 1000 ms "
        "the clock-speed measurement\n",
        timer.nsecsElapsed() / 1e6);
    form.show();
    QApplication::processEvents();
    idleUse(form);
    // The accurate engine first: burners still in a classic cycle of several
    // seconds when the engine switches would be measured as classic ones.
    measure(form, EngineMode::Accurate, "accurate");
    measure(form, EngineMode::Classic, "classic");
    return 0;
}
