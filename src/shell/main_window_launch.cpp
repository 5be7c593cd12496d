// SPDX-License-Identifier: GPL-3.0-or-later
// The launch box: launching an entry or the command line's application, the
// one-second timer that paces the watcher, and what the window shows of a watch.
#include <QEvent>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <system_error>

#include "cmdline/int_text.h"
#include "launch/launch_file.h"
#include "launch/launch_list.h"
#include "launch/tokens.h"
#include "main_window_controls.h"
#include "shell/main_window.h"
#include "unattended_dialogs.h"
#include "watch_host_adapter.h"
#include "widgets/task_icon.h"

namespace shell {

using cmdline::lenientInt;
using launch::ApplicationCommand;
using launch::LaunchEntry;
using launch::LaunchRequest;

void Tform1::loadLaunchList() {
    std::error_code ec;
    if (!std::filesystem::exists(services_.launchFile, ec)) return;
    auto loaded = launch::loadLaunchFile(services_.launchFile);
    if (auto failure = loaded.failure()) dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
    launchList_->setEntries(loaded ? std::move(*loaded) : std::vector<launch::LaunchEntry>{});
}

void Tform1::LaunchClick() {
    const int i = ui_->ListBox1->currentIndex().row();
    if (!ui_->Launch->isEnabled() || i < 0 || i >= launchList_->count()) return;
    const LaunchEntry& entry = launchList_->entry(i);
    launches_->setSeconds(lenientInt(entry.wait), lenientInt(entry.runFor));
    launchapp({entry.path}, lenientInt(entry.factor), launch::launchMinimizes(entry.minimizeToken),
              launch::launchCloses(entry.closeToken));
}

void Tform1::launchapp(const ApplicationCommand& command, int32_t factor, bool minimize, bool close) {
    if (minimize) minimizeWhenMapped();
    const int32_t position = ui_->TrackBar1->value();
    StartSlowDown(factor);
    ui_->Button1->setEnabled(false);
    ui_->TrackBar1->setEnabled(false);
    repaint();
    if (const auto failure = launches_->start(LaunchRequest{command, close, position}, *watchHost_).failure()) {
        watchHost_->reportStartFailure(launch::startFailureText(command.text, failure->reason));
        endUnwatchedLaunch(position, close);
    }
}

// No thread to watch with (the system's limit on threads was reached): the
// launch ends at once as a watch ends, so that the window does not stay in
// its running state. The burners were never switched on.
void Tform1::endUnwatchedLaunch(int32_t position, bool close) {
    finishStop(position);
    if (!close) return dialogs_->setUnattended(false);
    exit_.ownFailure();
    ui_->tiTray->setActive(false);
    ui_->secticker->start();  // the next tick ends the program
}

void Tform1::FormActivate() {
    // Only the first activation launches: launching again whenever a dialog
    // of the program closes would surprise every user.
    if (commandLineLaunched_) return;
    if (closeAfterRefusal_) return endAfterRefusedCommandLine();
    if (settings_.application.empty()) return;
    commandLineLaunched_ = true;
    launches_->setSeconds(settings_.waitSeconds, settings_.runForSeconds);
    launchapp({settings_.application, settings_.arguments}, settings_.factor, settings_.minimize, settings_.close);
}

// As a close-flag launch that could not start its program ends: at the first
// tick after the window showed "Error in command line parameters".
void Tform1::endAfterRefusedCommandLine() {
    commandLineLaunched_ = true;
    QTimer::singleShot(1000, this, [this] { close(); });
}

void Tform1::sectickerTimer() {
    if (!launches_->Tick()) return;
    ui_->secticker->stop();
    exit_.programEnded(launches_->exitStatus());
    printClosingLine();
    close();  // FormClose ends the program
}

void Tform1::watchEnded(int32_t position) {
    finishStop(position);
    handBackAfterWatch();
}

void Tform1::watchStopFailed(int32_t position, const QString& reason) {
    keepRunningAfterFailedStop(position, reason);
    handBackAfterWatch();
}

// A watch that leaves Lentora open hands the window back to its user.
void Tform1::handBackAfterWatch() {
    if (!launches_->closesProgram()) dialogs_->setUnattended(false);
}

// The watch's news, each on the window's thread in the order it was given.
void Tform1::connectWatchHost() {
    watchHost_ = std::make_unique<WatchHostAdapter>(*slowDown_);
    const WatchHostAdapter* host = watchHost_.get();
    const auto queued = Qt::QueuedConnection;
    connect(host, &WatchHostAdapter::slowDownEnded, this, &Tform1::watchEnded, queued);
    connect(host, &WatchHostAdapter::stopFailed, this, &Tform1::watchStopFailed, queued);
    connect(host, &WatchHostAdapter::progressChanged, this, &Tform1::showWatchProgress, queued);
    connect(host, &WatchHostAdapter::tickerWanted, this, &Tform1::runTicker, queued);
    connect(host, &WatchHostAdapter::trayIconOff, this, &Tform1::hideTrayIcon, queued);
    connect(host, &WatchHostAdapter::speedChanged, this, &Tform1::refreshSpeed, queued);
    connect(host, &WatchHostAdapter::resumeFailed, this, &Tform1::showError, queued);
    connect(host, &WatchHostAdapter::startFailed, this, &Tform1::showNotice, queued);
}

void Tform1::showWatchProgress(int percent) {
    ui_->ProgressBar1->setValue(percent);
    ui_->ProgressBar1->repaint();
}

void Tform1::runTicker(bool running) {
    if (!running) return ui_->secticker->stop();
    if (!ui_->secticker->isActive()) ui_->secticker->start();
}

void Tform1::hideTrayIcon() { ui_->tiTray->setActive(false); }

void Tform1::refreshSpeed() {
    repaint();
    UpdateSpeedLabels();
}

void Tform1::showError(const QString& text) { dialogs_->error(this, text); }

bool Tform1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(event);
}

}  // namespace shell
