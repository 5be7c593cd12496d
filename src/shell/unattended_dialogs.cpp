// SPDX-License-Identifier: GPL-3.0-or-later
#include "unattended_dialogs.h"

#include <cstdio>

namespace shell {

UnattendedDialogs::UnattendedDialogs(widgets::Dialogs& shown, std::function<void(const QString&)> toStatusBar)
    : shown_(shown), toStatusBar_(std::move(toStatusBar)) {}

void UnattendedDialogs::report(const QString& text) {
    std::fprintf(stderr, "lentora: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    toStatusBar_(text);
}

void UnattendedDialogs::information(QWidget* parent, const QString& caption, const QString& text) {
    if (unattended_)
        report(text);
    else
        shown_.information(parent, caption, text);
}

void UnattendedDialogs::error(QWidget* parent, const QString& text) {
    if (unattended_)
        report(text);
    else
        shown_.error(parent, text);
}

// Only the user opens it, from the properties dialog.
std::optional<QString> UnattendedDialogs::openFile(QWidget* parent, const QString& filter) {
    return shown_.openFile(parent, filter);
}

}  // namespace shell
