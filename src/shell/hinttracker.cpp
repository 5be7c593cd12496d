#include "shell/hinttracker.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QWidget>

THintTracker::THintTracker(QObject* parent) : QObject(parent) {}

QString THintTracker::HintOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (!w->toolTip().isEmpty()) return w->toolTip();
    return QString();
}

void THintTracker::Update(QWidget* underMouse) {
    const QString hint = HintOf(underMouse);
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) OnHint(hint_);
}

bool THintTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::Enter:
            // The widget the mouse is over receives these first.
            if (watched->isWidgetType()) Update(static_cast<QWidget*>(watched));
            break;
        case QEvent::Leave:
            Update(QApplication::widgetAt(QCursor::pos()));
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
