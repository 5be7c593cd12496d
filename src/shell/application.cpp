// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/application.h"

#include <QIcon>

#include "shell/version.h"
#include "widgets/dialogs.h"

namespace shell {

TLentoraApplication::TLentoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kApplicationTitle);
    setApplicationVersion(kVersion);
    setWindowIcon(QIcon(":/lentora/lentora.png"));
}

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
