// SPDX-License-Identifier: GPL-3.0-or-later
// The window's frame: its fixed size, the launch box shown or hidden, and the
// status bar along the bottom edge.
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include "main_window_controls.h"
#include "shell/fonts.h"
#include "shell/main_window.h"

namespace shell {

void Tform1::buildWindow() {
    setWindowTitle(kCaption);
    setFont(windowFont());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    client_ = new QWidget(this);
    setCentralWidget(client_);
    ui_ = std::make_unique<MainWindowControls>(buildControls(*this, *client_));
    ui_->secticker->setInterval(services_.tickIntervalMs);
    ui_->measureTicker->setInterval(services_.tickIntervalMs);
    connectControls();
    setClientHeight(359);
}

void Tform1::updateRightsIndicator() {
    showRights(*ui_, QString::fromStdString(slowDown_->rightsSummary()),
               QString::fromStdString(slowDown_->rightsDetails()));
}

void Tform1::setClientHeight(int height) {
    // The window is fixed in size; only the client height changes, and the
    // status bar follows the bottom edge.
    client_->setFixedSize(kClientWidth, height);
    ui_->StatusBar1->setGeometry(0, height - 25, kClientWidth, 25);
    ui_->StatusBar1->raise();
    setFixedSize(kClientWidth, height + menuBar()->sizeHint().height());
}

void Tform1::DownClick() {
    ui_->Down->setVisible(false);
    ui_->Down->setEnabled(false);
    ui_->Up->setVisible(true);
    ui_->Up->setEnabled(true);
    setClientHeight(kHeightLaunchBoxShown);
}

void Tform1::UpClick() {
    ui_->Up->setEnabled(false);
    ui_->Up->setVisible(false);
    ui_->Down->setEnabled(true);
    ui_->Down->setVisible(true);
    setClientHeight(kHeightLaunchBoxHidden);
}

}  // namespace shell
