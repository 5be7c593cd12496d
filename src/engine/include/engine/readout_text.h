// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the measured share is said: the status bar's readout box and its
// tooltip, the plain word where it and the window disagree, and the line a
// launch that closes Lentora ends with. Figures always with a point, so that
// scripts read the line in every locale.
#include <cstdint>
#include <string>

#include "engine/share_sampler.h"
#include "engine/standing.h"

namespace engine {

// One decimal, with a point.
std::string oneDecimal(double value);

// "Programs get 2.1 % (52 MHz)"; "The program gets ..." for a launch. The
// clock speed is left out where the processor's real speed (realMhz) is unknown (0).
std::string readoutText(const Readout& r, double realMhz);
// The tooltip: what the figure is and how it was measured.
std::string readoutDetails(const Readout& r, int32_t factor);
// Where what programs get and the factor's share differ by more than a
// quarter either way: "Your programs get about 12 %, not 2 %: see Rights",
// with the reason (from the standing where they get more). Empty otherwise.
std::string disagreementText(const Readout& r, int32_t factor, const Standing& standing);
// "lentora: the program ran at 2.1 % of a processor (52 MHz of 2496 MHz) over
// 12.3 s; the slow-down asked for 2 %", without the newline.
std::string closingLine(const ProgramTotals& totals, double realMhz, int32_t factor);
// The same end where no window of the program was measured.
std::string unmeasuredClosingLine(int32_t factor);

}  // namespace engine
