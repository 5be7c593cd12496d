// SPDX-License-Identifier: GPL-3.0-or-later
#include "speed_labels.h"

#include <QLocale>

#include "engine/speed.h"

namespace shell {

QString formatMhz(double mhz) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(mhz, 'f', 2);
}

SpeedTexts speedTexts(const cpuid::TCPUID* processor, int32_t factor) {
    if (!processor) return {"CPU to Kill : Unknown", "Real CPU speed: Unknown", "Virtual CPU speed: Unknown", false};
    const double s = processor->ProcessorSpeed();
    return {"CPU to Kill : " + QString::fromStdString(processor->ProcessorDescription()),
            "Real CPU speed: " + formatMhz(s) + " Mhz",
            "Virtual CPU speed: " + formatMhz(engine::virtualSpeed(s, factor)) + " Mhz", true};
}

}  // namespace shell
