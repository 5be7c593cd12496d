// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/splash.h"

#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace shell {

Tsplashform::Tsplashform(QWidget* parent, int closeAfterMs)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("splashform");
    setStyleSheet("background: black");
    setEnabled(false);
    img_bmp = new QLabel(this);
    img_bmp->setScaledContents(true);
    img_bmp->setPixmap(QPixmap(":/lentora/splash.png"));
    img_bmp->setGeometry(0, 0, 398, 177);
    resize(img_bmp->width(), img_bmp->height());
    if (QScreen* screen = this->screen()) move(screen->geometry().center() - rect().center());
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start(closeAfterMs);
}

void Tsplashform::Timer1Timer() {
    hide();
    close();
}

}  // namespace shell
