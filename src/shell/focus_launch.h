// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moving the keyboard focus to the launch list launches its selected entry:
// with Tab, Backtab, a click or a shortcut. The window getting the focus
// back (from another program, a menu, a dialog, the help window, the tray)
// hands it to the list again without moving it, and launches nothing.
#include <QObject>
#include <functional>

class QWidget;

namespace shell {

class FocusLaunch : public QObject {
public:
    // Watches list, and goes with it.
    FocusLaunch(QWidget& list, std::function<void()> launch);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> launch_;
};

}  // namespace shell
