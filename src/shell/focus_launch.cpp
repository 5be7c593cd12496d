// SPDX-License-Identifier: GPL-3.0-or-later
#include "focus_launch.h"

#include <QFocusEvent>
#include <QWidget>

namespace shell {

namespace {
bool focusFromAnotherControl(QEvent* event) {
    switch (static_cast<QFocusEvent*>(event)->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
        return true;
    default:
        return false;
    }
}
}  // namespace

FocusLaunch::FocusLaunch(QWidget& list, std::function<void()> launch) : QObject(&list), launch_(std::move(launch)) {
    list.installEventFilter(this);
}

bool FocusLaunch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && focusFromAnotherControl(event)) launch_();
    return QObject::eventFilter(watched, event);
}

}  // namespace shell
