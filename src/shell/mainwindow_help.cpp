// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu, F1, the About box and the keyboard order of the controls.
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>

#include "aboutbox.h"
#include "helpkey.h"
#include "shell/helpviewer.h"
#include "shell/mainwindow.h"

namespace shell {
namespace {
QString helpFile() { return helpFilePath(); }
}  // namespace

void Tform1::createAboutBox() {
    AboutBox = new TAboutBox(this);
    setProperty("helpContext", 20);
    for (QAction* menu : menuBar()->actions())
        if (menu->menu()) menu->menu()->setProperty("helpContext", 100);
    auto* helpKey = new THelpKey(
        [this](int context) {
            services_.help.WinHelp(QApplication::activeWindow(), helpFile(), HELP_CONTEXT, context);
        },
        this);
    qApp->installEventFilter(helpKey);
    setTabOrder();
}

void Tform1::setTabOrder() {
    // panel1 and the panels hold no focusable control but those named here.
    QWidget* order[] = {Button1, Up, Add, Remove, Propertybutton, Launch, ListBox1, TrackBar1, Down};
    for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void Tform1::Contents1Click() { services_.help.WinHelp(QApplication::activeWindow(), helpFile(), HELP_FINDER, 0); }

void Tform1::Commandline1Click() { services_.help.WinHelp(QApplication::activeWindow(), helpFile(), HELP_CONTEXT, 10); }

void Tform1::About1Click() { AboutBox->exec(); }

}  // namespace shell
