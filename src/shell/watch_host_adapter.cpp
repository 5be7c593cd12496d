// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch_host_adapter.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>

#include "main_window_controls.h"
#include "widgets/task_icon.h"

namespace shell {

WatchHostAdapter::WatchHostAdapter(QObject& window, const MainWindowControls& controls, engine::TSlowDown& slowDown,
                                   WatchWindow side)
    : window_(window), controls_(controls), slowDown_(slowDown), side_(std::move(side)) {}

void WatchHostAdapter::onWindowThread(std::function<void()> work) {
    QMetaObject::invokeMethod(&window_, std::move(work), Qt::QueuedConnection);
}

bool WatchHostAdapter::resumeBurnerFromWatcher() { return slowDown_.Resume(); }

void WatchHostAdapter::reportResumeFailure(launch::ProgramFate program) {
    // No burner thread could be created or reached: the watch goes on, unslowed, and says so.
    const char* const fate = program == launch::ProgramFate::Runs    ? " The program runs at full speed."
                             : program == launch::ProgramFate::Ended ? " The program has ended."
                                                                     : " The program did not start either.";
    onWindowThread([this, fate] {
        side_.showError(QString("The slow-down could not be started: the system did not create or reach the burner "
                                "threads.") +
                        fate);
    });
}

void WatchHostAdapter::stopSlowDownFromWatcher(int32_t position) {
    // The slow-down ends now, not when the window gets to it.
    const bool stopped = slowDown_.suspendNow();
    onWindowThread([this, position, stopped] { side_.slowDownEnded(position, stopped); });
}

void WatchHostAdapter::restoreFactor(int32_t factor) { slowDown_.restoreFactor(factor); }

void WatchHostAdapter::setProgress(int percent) {
    onWindowThread([this, percent] {
        controls_.ProgressBar1->setValue(percent);
        controls_.ProgressBar1->repaint();
    });
}

void WatchHostAdapter::enableTicker() {
    onWindowThread([this] {
        if (!controls_.secticker->isActive()) controls_.secticker->start();
    });
}

void WatchHostAdapter::disableTicker() {
    onWindowThread([this] { controls_.secticker->stop(); });
}

void WatchHostAdapter::deactivateTrayIcon() {
    onWindowThread([this] { controls_.tiTray->setActive(false); });
}

void WatchHostAdapter::repaintAndUpdateSpeedLabels() {
    onWindowThread([this] { side_.refreshSpeed(); });
}

void WatchHostAdapter::reportStartFailure(const std::string& message) {
    // The status bar shows it; standard error too, for a start from a
    // shortcut with "/CLOSE", whose window is gone a second later.
    std::fprintf(stderr, "lentora: %s\n", message.c_str());
    // The text goes over under a lock of ours: a queued call's own hand-over
    // happens inside Qt, where ThreadSanitizer cannot see it.
    {
        std::lock_guard lock(failureMutex_);
        failureText_ = QString::fromLocal8Bit(message);
    }
    onWindowThread([this] {
        std::lock_guard lock(failureMutex_);
        controls_.StatusBar1->setText(failureText_);
    });
}

}  // namespace shell
