// SPDX-License-Identifier: GPL-3.0-or-later
#include "speedlabels.h"

#include <QLocale>

namespace shell {

QString formatMhz(double mhz) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(mhz, 'f', 2);
}

}  // namespace shell
