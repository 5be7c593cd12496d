// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu, F1, the About box and the keyboard order of the controls.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "about_box.h"
#include "help_key.h"
#include "main_window_controls.h"
#include "shell/help_viewer.h"
#include "shell/main_window.h"

namespace shell {
void Tform1::createAboutBox() {
    AboutBox = new TAboutBox(this);
    AboutBox->setObjectName("AboutBox");
    setProperty("helpContext", 20);
    for (QAction* menu : menuBar()->actions())
        if (menu->menu()) menu->menu()->setProperty("helpContext", 100);
    auto* helpKey = new THelpKey(
        [this](int context) {
            services_.help.WinHelp(QApplication::activeWindow(), helpFilePath(), HELP_CONTEXT, context);
        },
        this);
    qApp->installEventFilter(helpKey);
    shell::setTabOrder(*ui_);
}

void Tform1::Contents1Click() { services_.help.WinHelp(QApplication::activeWindow(), helpFilePath(), HELP_FINDER, 0); }

void Tform1::Commandline1Click() {
    services_.help.WinHelp(QApplication::activeWindow(), helpFilePath(), HELP_CONTEXT, 10);
}

void Tform1::About1Click() { AboutBox->exec(); }

}  // namespace shell
