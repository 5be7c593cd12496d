// SPDX-License-Identifier: GPL-3.0-or-later
// The launch box: launching an entry or the command line's application, the
// one-second timer that paces the watcher, and the watcher's window changes.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cstdio>
#include <system_error>

#include "cmdline/inttext.h"
#include "launch/launchfile.h"
#include "launch/launchlist.h"
#include "launch/tokens.h"
#include "shell/mainwindow.h"
#include "unattended_dialogs.h"
#include "widgets/taskicon.h"

namespace shell {

using cmdline::lenientInt;
using launch::ApplicationCommand;
using launch::launchCloses;
using launch::LaunchEntry;
using launch::launchMinimizes;
using launch::LaunchRequest;
using launch::loadLaunchFile;
using launch::startFailureText;
using launch::waitforapplication;

void Tform1::loadLaunchList() {
    std::error_code ec;
    if (!std::filesystem::exists(services_.launchFile, ec)) return;
    auto loaded = loadLaunchFile(services_.launchFile);
    if (auto failure = loaded.failure()) dialogs_->error(this, QString::fromLocal8Bit(failure->reason));
    launchList_->setEntries(loaded ? std::move(*loaded) : std::vector<launch::LaunchEntry>{});
}

// Moving the keyboard focus to the list box launches its selected entry:
// with Tab, Backtab, a click or a shortcut. The window getting the focus
// back (from another program, a menu, a dialog, the help window, the tray)
// hands it to the list again without moving it, and launches nothing.
static bool focusFromAnotherControl(QEvent* event) {
    switch (static_cast<QFocusEvent*>(event)->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
        return true;
    default:
        return false;
    }
}

void Tform1::connectLaunchBox() {
    ListBox1->setModel(launchList_);
    ListBox1->installEventFilter(this);
    connect(ListBox1, &QListView::doubleClicked, this, [this] { LaunchClick(); });
    connect(Launch, &QPushButton::clicked, this, [this] { LaunchClick(); });
    connect(secticker, &QTimer::timeout, this, [this] { sectickerTimer(); });
}

void Tform1::LaunchClick() {
    const int i = ListBox1->currentIndex().row();
    if (!Launch->isEnabled() || i < 0 || i >= launchList_->count()) return;
    const LaunchEntry& entry = launchList_->entry(i);
    const int32_t factor = lenientInt(entry.factor);
    engine_->timing.runForSeconds = lenientInt(entry.runFor);
    engine_->timing.waitSeconds = lenientInt(entry.wait);
    launchapp({entry.path}, factor, launchMinimizes(entry.minimizeToken), launchCloses(entry.closeToken));
}

void Tform1::launchapp(const ApplicationCommand& command, int32_t factor, bool minimize, bool close) {
    if (minimize) showMinimized();
    watcher_.reset();  // the previous watch has ended: the Launch button was disabled until then
    watcher_ = std::make_unique<waitforapplication>(LaunchRequest{command, close, TrackBar1->value()}, engine_->timing,
                                                    *this, services_.processes);
    StartSlowDown(factor);
    Button1->setEnabled(false);
    TrackBar1->setEnabled(false);
    repaint();
    if (auto failure = watcher_->resume()) {
        ReportStartFailure(startFailureText(command.text, failure->reason));
        endUnwatchedLaunch();
    }
}

// No thread to watch with (the system's limit on threads was reached): the
// launch ends at once as a watch ends, so that the window does not stay in
// its running state. The burners were never switched on.
void Tform1::endUnwatchedLaunch() {
    finishStop(watcher_->request().savedFactor);
    engine_->timing.runForSeconds = 0;
    engine_->timing.waitSeconds = 0;
    if (!watcher_->request().closeFlag) {
        dialogs_->setUnattended(false);
        return;
    }
    exitStatus_ = kOwnFailureStatus;
    tiTray->setActive(false);
    watcher_->terminateRequest = true;
    secticker->start();  // the next tick ends the program
}

void Tform1::FormActivate() {
    // Only the first activation launches: launching again whenever a dialog
    // of the program closes would surprise every user.
    if (commandLineLaunched_ || settings_.application.empty()) return;
    commandLineLaunched_ = true;
    engine_->timing.waitSeconds = settings_.waitSeconds;
    engine_->timing.runForSeconds = settings_.runForSeconds;
    launchapp({settings_.application, settings_.arguments}, settings_.factor, settings_.minimize, settings_.close);
}

void Tform1::sectickerTimer() {
    if (!watcher_) return;
    if (watcher_->terminateRequest) {
        secticker->stop();
        if (exitStatus_ == 0) exitStatus_ = watcher_->exitStatus();  // Lentora's own failure comes first
        close();                                                     // FormClose ends the program
        return;
    }
    watcher_->Tick();
}

// The one way from the watcher's thread to the window's. Work posted for a
// window that is gone by then is dropped with it.
void Tform1::onWindowThread(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Tform1::ResumeBurnerFromWatcher() {
    if (engine_->slowDown.Resume()) return;
    // No burner thread could be created or reached: the watch goes on, unslowed, and says so.
    onWindowThread([this] {
        dialogs_->error(this,
                        "The slow-down could not be started: the system did not create or reach the burner "
                        "threads. The program runs at full speed.");
    });
}

void Tform1::StopSlowDownFromWatcher(int32_t position) {
    // The slow-down ends now, not when the window gets to it.
    const bool stopped = engine_->slowDown.SuspendNow();
    onWindowThread([this, position, stopped] {
        stopped ? finishStop(position) : keepRunningAfterFailedStop(position);
        // A watch that leaves Lentora open hands the window back to its user.
        if (watcher_ && !watcher_->request().closeFlag) dialogs_->setUnattended(false);
    });
}

void Tform1::RestoreFactor(int32_t factor) { engine_->slowDown.RestoreFactor(factor); }

void Tform1::SetProgress(int percent) {
    onWindowThread([this, percent] {
        ProgressBar1->setValue(percent);
        ProgressBar1->repaint();
    });
}

void Tform1::EnableTicker() {
    onWindowThread([this] {
        if (!secticker->isActive()) secticker->start();
    });
}

void Tform1::DisableTicker() {
    onWindowThread([this] { secticker->stop(); });
}

void Tform1::DeactivateTrayIcon() {
    onWindowThread([this] { tiTray->setActive(false); });
}

void Tform1::RepaintAndUpdateSpeedLabels() {
    onWindowThread([this] {
        repaint();
        UpdateSpeedLabels();
    });
}

void Tform1::ReportStartFailure(const std::string& message) {
    // The status bar shows it; standard error too, for a start from a
    // shortcut with "/CLOSE", whose window is gone a second later.
    std::fprintf(stderr, "lentora: %s\n", message.c_str());
    {
        std::lock_guard lock(startFailureMutex_);  // the message crosses threads
        startFailure_ = message;
    }
    onWindowThread([this] {
        std::lock_guard lock(startFailureMutex_);
        StatusBar1->setText(QString::fromLocal8Bit(startFailure_));
    });
}

bool Tform1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QMainWindow::event(event);
}

bool Tform1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::FocusIn && focusFromAnotherControl(event)) LaunchClick();
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace shell
