// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <cstdint>

#include "cpuid/cpuid.h"

namespace shell {

// A clock speed with exactly two decimals, the user's decimal separator and
// no thousands separators.
QString formatMhz(double mhz);

// What the three speed labels say at a factor: the processor's name, its
// real and its virtual clock speed; "Unknown" for a processor not known.
struct SpeedTexts {
    QString processor, real, virtualSpeed;
    bool known;
};
SpeedTexts speedTexts(const cpuid::TCPUID* processor, int32_t factor);

}  // namespace shell
