// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The accurate engine's feedback: the burners' busy part trimmed so that the
// share programs measurably get follows the factor's, 100 - factor percent.
// Pure arithmetic; the slow-down feeds it one measured window a second.
//
// The law works on the free part as a ratio to the factor's: programs get
// about a fixed fraction of the free part (0.4 of it as root at 98, where the
// window thread, the watcher and the desktop take the rest; more than all of
// it without rights, where the burners do not hold their busy part), so
// equal ratios need equal steps at every factor, and a factor change keeps
// the ratio learned and takes effect at once.
#include <cstdint>

namespace engine {

// The busy part in hundredths of a percent of the period.
inline constexpr int32_t kFullPeriodBp = 10000;

class BusyTrim {
public:
    // One window: the share programs got, in percent of a processor, at the
    // factor in force. Moves the free part towards what makes it the
    // factor's share, three quarters of the way, by the larger of two steps:
    // in ratio (right where the share follows the free part, as the desktop's
    // part of it grows with it) and in points (right where the program also
    // gets a fixed part of the busy time, as a nice-19 program's 1.4 %: there
    // steps in ratio fall short, and took 10 s to come within a tenth).
    // Neither overshoots while the share grows no faster than the free part.
    // At most a quarter up or two fifths down per window, nothing within 5 %
    // of the target.
    void update(int32_t factor, double measuredPercent);
    // The free part's ratio back to 1: the burners as the factor sets them.
    void reset() { ratio_ = 1.0; }
    // Whether the burners hold their busy part under a real-time policy,
    // which decides how long it may grow (see lowestRatio).
    void setRealtime(bool realtime) { realtime_ = realtime; }

    // The busy part for factor with the ratio learned, inside the bounds.
    int32_t busyBp(int32_t factor) const;
    // The free part against the factor's: above 1 the busy part is shortened.
    double ratio() const { return ratio_; }

    // The bounds of the free part at factor, as ratios to the factor's. Under
    // real time it never falls below half the factor's (the programs, and a
    // shell to stop a runaway, keep at least that); without, the kernel
    // shares the busy part too, and a tenth is enough: at 98 a nice-19
    // program takes 1.4 % of a nice-0 burner's time by weight alone, and
    // half the free part left it 2.5 % where 2 % was asked. It never grows
    // beyond three times the factor's or ten points more. The burners'
    // real-time part stays below the kernel's budget whatever the trim (see
    // accurateCycle).
    static double lowestRatio(int32_t factor, bool realtime = true);
    static double highestRatio(int32_t factor);

private:
    double lowest(int32_t factor) const { return lowestRatio(factor, realtime_); }

    double ratio_ = 1.0;
    bool realtime_ = true;
};

}  // namespace engine
