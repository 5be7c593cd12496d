// SPDX-License-Identifier: GPL-3.0-or-later
// Minimized, the program leaves the taskbar for the notification area.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include "main_window_controls.h"
#include "shell/main_window.h"
#include "unattended_dialogs.h"
#include "widgets/task_icon.h"

namespace shell {

void Tform1::setUpTrayIcon() {
    buildTray(*this, *ui_, services_.trayShell);
    ui_->tiTray->OnDblClick = [this](QObject*) { tiTrayDblClick(); };
    // An error in a tray handler is shown like any other; the icon stays usable.
    ui_->tiTray->errorHandler = [this](const std::exception& e) {
        dialogs_->error(this, QString::fromLocal8Bit(e.what()));
    };
    connect(ui_->Restore1, &QAction::triggered, this, [this] { tiTrayDblClick(); });
    connect(ui_->Quit1, &QAction::triggered, this, [this] { Quit1Click(); });
}

// Quitting is closing the window, from the tray too: the same way out.
void Tform1::Quit1Click() { close(); }

void Tform1::AppMinimize() {
    // A launch's minimize that waited for the window: the caption from before
    // the slow-down started, as if it had minimized at once.
    ui_->tiTray->setToolTip(minimizeOnExpose_.value_or(windowTitle()));
    ui_->tiTray->setActive(true);
    // Without a notification area the window keeps its taskbar entry:
    // hidden, the program could not be reached again.
    // Queued: the toolkit shows a window it minimizes after telling us.
    if (ui_->tiTray->active())
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized() && ui_->tiTray->active()) hide();
            },
            Qt::QueuedConnection);
}

void Tform1::AppRestore() {
    ui_->tiTray->setActive(false);
    raise();
    activateWindow();
}

void Tform1::tiTrayDblClick() { showNormal(); }

// A minimize asked before the window manager has mapped the window is lost
// on X11: the window was already being mapped in its normal state, and a
// desktop without a notification area then showed it on screen (7 of 8
// command-line starts with /MINIMIZE). So the first launch waits for the
// window's first exposure.
void Tform1::minimizeWhenMapped() {
    QWindow* window = windowHandle();
    if (!window || window->isExposed()) return showMinimized();
    minimizeOnExpose_ = windowTitle();
    window->installEventFilter(this);
}

bool Tform1::eventFilter(QObject* watched, QEvent* event) {
    if (minimizeOnExpose_ && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        // After the toolkit's own handling of the exposure.
        QMetaObject::invokeMethod(
            this,
            [this] {
                showMinimized();
                minimizeOnExpose_.reset();
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tform1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !installedAppHandlers_) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
    if (isMinimized() && !wasMinimized)
        AppMinimize();
    else if (!isMinimized() && wasMinimized)
        AppRestore();
}

}  // namespace shell
