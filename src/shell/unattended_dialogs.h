// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes for a start that runs by itself (a command-line launch, a
// shortcut with "/CLOSE" or "/MINIMIZE"): nobody may be there to click, so a
// message goes to standard error and the status bar instead of a box that
// would hold the program up. Otherwise every box is shown as usual.
#include <functional>

#include "widgets/dialogs.h"

namespace shell {

class UnattendedDialogs : public widgets::Dialogs {
public:
    UnattendedDialogs(widgets::Dialogs& shown, std::function<void(const QString&)> toStatusBar);

    void setUnattended(bool unattended) { unattended_ = unattended; }
    bool unattended() const { return unattended_; }

    void information(QWidget* parent, const QString& caption, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    std::optional<QString> openFile(QWidget* parent, const QString& filter) override;

private:
    void report(const QString& text);

    widgets::Dialogs& shown_;
    std::function<void(const QString&)> toStatusBar_;
    bool unattended_ = false;
};

}  // namespace shell
