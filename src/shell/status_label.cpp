// SPDX-License-Identifier: GPL-3.0-or-later
#include "status_label.h"

#include <QPainter>
#include <QStyle>

namespace shell {

StatusLabel::StatusLabel(const QString& hint, QWidget* parent) : QLabel(parent), hint_(hint) { setToolTip(hint); }

void StatusLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);  // the sunken frame
    // QLabel's own indent for a framed label: half an 'x'.
    const int shift = indent() >= 0 ? indent() : frameWidth() > 0 ? fontMetrics().horizontalAdvance('x') / 2 : 0;
    const QRect room = contentsRect().adjusted(margin() + shift, margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
    // Decided at each painting: the text changes through setText, which is not virtual.
    const QString tip = shown == text() ? hint_ : text();
    if (toolTip() != tip) setToolTip(tip);
    QPainter painter(this);
    style()->drawItemText(&painter, room, Qt::AlignVCenter | Qt::AlignLeft, palette(), isEnabled(), shown,
                          foregroundRole());
}

}  // namespace shell
