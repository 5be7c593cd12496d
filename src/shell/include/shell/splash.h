// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The splash window shown while the program starts; its timer closes it.
#include <QWidget>

class QLabel;
class QTimer;

namespace shell {

class Tsplashform : public QWidget {
    Q_OBJECT
public:
    explicit Tsplashform(QWidget* parent = nullptr, int closeAfterMs = 5000);
    void Timer1Timer();
    QLabel* img_bmp = nullptr;
    QTimer* Timer1 = nullptr;
};

}  // namespace shell
