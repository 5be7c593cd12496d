// The window as a user feels it: how long a warm start takes (the per-user
// store present, as at every start after the first), and how quickly the
// window handles an input event while the burners run at the strongest factor.
//
// Runs offscreen in a temporary home; prints its figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <time.h>
#include <vector>

#include "engine/killthread.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_help_viewer.h"
#include "fakes/fake_tray_shell.h"
#include "platform/clock.h"
#include "platform/processor.h"
#include "platform/registry.h"
#include "platform/thread.h"
#include "shell/helpviewer.h"
#include "shell/mainwindow.h"

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

// Milliseconds from posting a key press to the window until its handler ran.
std::vector<double> inputLatencies(Tform1& form, int samples) {
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        QElapsedTimer timer;
        bool handled = false;
        timer.start();
        QMetaObject::invokeMethod(
            &form,
            [&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
                QApplication::sendEvent(form.TrackBar1, &press);
                handled = true;
            },
            Qt::QueuedConnection);
        while (!handled) QApplication::processEvents(QEventLoop::AllEvents, 5);
        ms.push_back(timer.nsecsElapsed() / 1e6);
        platform::sleepMs(20);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
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
    form.burner().SetMode(mode);
    form.TrackBar1->setValue(98);
    form.Button1Click();
    platform::sleepMs(300);
    const std::vector<double> ms = inputLatencies(form, 100);
    form.Button1Click();
    form.TrackBar1->setValue(0);
    std::printf("Input latency with the burners at 98 %% (%s): median %.2f ms, p90 %.2f ms, max %.2f ms\n", name,
                ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
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
    std::printf("Warm start (store present): %.0f ms, of which 500 ms is the start-up pause and about 1000 ms "
                "the clock-speed measurement\n",
                timer.nsecsElapsed() / 1e6);
    form.show();
    QApplication::processEvents();
    idleUse(form);
    measure(form, EngineMode::Classic, "classic");
    measure(form, EngineMode::Accurate, "accurate");
    return 0;
}
