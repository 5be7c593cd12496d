// SPDX-License-Identifier: GPL-3.0-or-later
#include "help_key.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace shell {

int THelpKey::contextOf(QObject* object) {
    for (QObject* o = object; o; o = o->parent()) {
        const QVariant context = o->property("helpContext");
        if (context.isValid()) return context.toInt();
    }
    return 0;
}

bool THelpKey::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
        return QObject::eventFilter(watched, event);
    QWidget* front = QApplication::activePopupWidget();
    if (!front) front = QApplication::activeModalWidget();
    if (!front) front = QApplication::activeWindow();
    const int context = contextOf(front ? static_cast<QObject*>(front) : watched);
    if (context == 0) return QObject::eventFilter(watched, event);
    showTopic_(context);
    return true;
}

}  // namespace shell
