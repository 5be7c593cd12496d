// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/application.h"

#include <QIcon>

#include "shell/version.h"
#include "widgets/dialogs.h"

namespace shell {

// The name the first window is made under becomes the X window class of
// every window of the process (the toolkit fixes it then): the stable
// kWindowClass, which the menu entry's StartupWMClass names, so that a
// desktop matches the windows to the entry in every release. The program's
// title, which carries the version, follows once that window exists
// (useTitle).
TLentoraApplication::TLentoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kWindowClass);
    setApplicationVersion(kVersion);
    setWindowIcon(QIcon(":/lentora/lentora.png"));
}

void TLentoraApplication::useTitle() { setApplicationName(kApplicationTitle); }

bool TLentoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        handleException(error);
    } catch (...) {
        handleException(std::runtime_error("Unknown error"));
    }
    return false;
}

void TLentoraApplication::handleException(const std::exception& error) {
    if (dialogs_) dialogs_->error(activeWindow(), QString::fromLocal8Bit(error.what()));
}

}  // namespace shell
