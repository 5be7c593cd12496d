// SPDX-License-Identifier: GPL-3.0-or-later
#include "hint_tracker.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace shell {

THintTracker::THintTracker(QObject* parent) : QObject(parent) {}

// A tooltip may say more on further lines; the status bar shows the first.
QString THintTracker::hintOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (!w->toolTip().isEmpty()) return w->toolTip().section('\n', 0, 0);
    return QString();
}

void THintTracker::Update(QWidget* underMouse) {
    const QString hint = hintOf(underMouse);
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) OnHint(hint_);
}

// The deepest visible widget under the mouse. A mouse move that a control
// does not take (a check box that is not pressed) goes on to its parent, and
// the hint must stay the control's, not become the parent's.
QWidget* THintTracker::widgetUnder(QWidget* receiver, QPoint globalPos) {
    QWidget* child = receiver->childAt(receiver->mapFromGlobal(globalPos));
    return child ? child : receiver;
}

bool THintTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::Enter:
        if (watched->isWidgetType() && event->isSinglePointEvent()) {
            const QPoint global = static_cast<QSinglePointEvent*>(event)->globalPosition().toPoint();
            Update(widgetUnder(static_cast<QWidget*>(watched), global));
        }
        break;
    case QEvent::Leave:
        Update(QApplication::widgetAt(QCursor::pos()));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace shell
