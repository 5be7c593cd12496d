#include "engine/speed.h"

double virtualSpeed(double realSpeed, int32_t factor) {
    const long double s = realSpeed;
    return static_cast<double>(s - s * factor / 100);
}
