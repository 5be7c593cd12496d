// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/generator.h"

#include <cfenv>
#include <cmath>

namespace engine {

int64_t nearest(long double v) {
    // llrintl rounds in the current rounding mode; the program never changes
    // it from round-to-nearest-even, but make that explicit.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const int64_t result = std::llrint(v);
    if (mode != FE_TONEAREST) std::fesetround(mode);
    return result;
}

}  // namespace engine
