// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/fonts.h"

#include <QStringList>

namespace shell {

QFont windowFont() {
    QFont font;
    font.setFamilies(
        {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans Condensed", "DejaVu Sans"});
    font.setPixelSize(11);
    return font;
}

QFont tahomaFont() {
    QFont font;
    font.setFamilies({"Tahoma", "Liberation Sans", "DejaVu Sans Condensed", "DejaVu Sans"});
    font.setPixelSize(13);
    return font;
}

}  // namespace shell
