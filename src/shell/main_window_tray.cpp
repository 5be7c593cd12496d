// SPDX-License-Identifier: GPL-3.0-or-later
// Minimized, the program leaves the taskbar for the notification area.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
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
    ui_->tiTray->setToolTip(windowTitle());
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
