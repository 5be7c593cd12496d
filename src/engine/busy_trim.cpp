// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/busy_trim.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {
constexpr double kGain = 0.75;
constexpr double kLargestRise = 1.25;
constexpr double kLargestFall = 0.6;
constexpr double kDeadband = 1.05;
// A share measured as nothing at all still says "far too little".
constexpr double kSmallestShare = 0.01;

double idealFree(int32_t factor) { return 100.0 - std::clamp(factor, 0, 100); }
}  // namespace

double BusyTrim::lowestRatio(int32_t, bool realtime) { return realtime ? 0.5 : 0.1; }

double BusyTrim::highestRatio(int32_t factor) {
    const double ideal = idealFree(factor);
    if (ideal <= 0) return 1.0;
    return std::min({3.0, (ideal + 10.0) / ideal, 100.0 / ideal});
}

void BusyTrim::update(int32_t factor, double measuredPercent) {
    const double target = idealFree(factor);
    if (factor <= 0 || target <= 0) return;
    const double ratio = target / std::max(measuredPercent, kSmallestShare);
    if (ratio < kDeadband && ratio > 1 / kDeadband) return;
    const double freeNow = target * std::clamp(ratio_, lowest(factor), highestRatio(factor));
    const double inRatio = std::pow(ratio, kGain);
    const double inPoints = 1 + kGain * (target - measuredPercent) / freeNow;
    const double larger = ratio > 1 ? std::max(inRatio, inPoints) : std::min(inRatio, inPoints);
    const double step = std::clamp(larger, kLargestFall, kLargestRise);
    ratio_ = std::clamp(ratio_ * step, lowest(factor), highestRatio(factor));
}

int32_t BusyTrim::busyBp(int32_t factor) const {
    if (factor <= 0) return 0;
    const double ratio = std::clamp(ratio_, lowest(factor), highestRatio(factor));
    const double freeBp = idealFree(factor) * 100.0 * ratio;
    return std::clamp(static_cast<int32_t>(std::lround(kFullPeriodBp - freeBp)), 0, kFullPeriodBp);
}

}  // namespace engine
