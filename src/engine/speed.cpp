// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/speed.h"

namespace engine {

double virtualSpeed(double realSpeed, int32_t factor) {
    const long double s = realSpeed;
    return static_cast<double>(s - s * factor / 100);
}

}  // namespace engine
