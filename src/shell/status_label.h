// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's text: on one line, as the bar is one line high. A text
// longer than the room left beside the boxes at the bar's right end (the
// label's right margin) ends in "..." instead of being cut in the middle of
// a word, and the whole text is then the label's tooltip (and so, through the
// hints, also what hovering it shows).
#include <QLabel>

namespace shell {

class StatusLabel : public QLabel {
public:
    StatusLabel(const QString& hint, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString hint_;  // the tooltip while the whole text fits
};

}  // namespace shell
