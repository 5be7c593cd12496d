// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/readout_text.h"

#include <charconv>
#include <cmath>

#include "engine/factor.h"

namespace engine {

std::string oneDecimal(double value) {
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1).ptr;
    return std::string(buf, end);
}

namespace {
std::string wholeMhz(double mhz) { return std::to_string(std::lround(mhz)); }

std::string askedPercent(int32_t factor) { return std::to_string(100 - clampFactor(factor)); }

// Why programs get more than asked, in the standing's words.
std::string reasonFor(const Standing& s) {
    switch (reachOf(s)) {
    case Reach::Everything:
        return "something outweighs the burners (another control group or a program at real-time priority)";
    case Reach::OwnPrograms:
        return "Lentora may not raise its priority: it holds only against your own programs";
    case Reach::Launched:
        break;
    }
    return "Lentora may not raise its priority: it holds only against the programs it starts";
}
}  // namespace

std::string readoutText(const Readout& r, double realMhz) {
    std::string text = (r.ofProgram ? "The program gets " : "Programs get ") + oneDecimal(r.percent) + " %";
    if (realMhz > 0) text += " (" + wholeMhz(realMhz * r.percent / 100) + " MHz)";
    return text;
}

std::string readoutDetails(const Readout& r, int32_t factor) {
    std::string text = "Measured over the last " + oneDecimal(r.seconds) + " s; the slow-down asks for " +
                       askedPercent(factor) + " %.\n";
    if (r.ofProgram && !r.fromCpuTime)
        text +=
            "The launched program's share of the time it was ready to run, over all its threads and the "
            "programs it started (the kernel's run and wait times per thread).";
    else if (r.ofProgram)
        text +=
            "The launched program's processor time against wall time: this kernel keeps no wait times per "
            "thread, so a program that also sleeps shows less than it gets.";
    else
        text += "What the burners left of each processor: they held " + oneDecimal(r.heldPercent) + " % of it.";
    text += "\nLentora's own work apart from the burners: " + oneDecimal(r.ownPercent) + " % of a processor.";
    return text;
}

// Off by more than a quarter either way (the figure itself is within a tenth
// of what an outside measurement sees), and by half a point at least, so that
// noise around a small share does not make the word come and go. At 98, 0.8 %
// where 2 % is asked is as wrong as 5 %: the program runs 2.5 times slower.
bool disagrees(double got, double asked) {
    return std::fabs(got - asked) >= 0.5 && (got > asked * 1.25 || got * 1.25 < asked);
}

std::string disagreementText(const Readout& r, int32_t factor, const Standing& standing) {
    const double asked = 100 - clampFactor(factor);
    if (!r.measured || asked <= 0 || !disagrees(r.percent, asked)) return {};
    const std::string reason =
        r.percent < asked ? "other programs take part of the time the burners leave free" : reasonFor(standing);
    return std::string(r.ofProgram ? "The program gets" : "Your programs get") + " about " + oneDecimal(r.percent) +
           " %, not " + askedPercent(factor) + " %: see Rights. " + reason + ".";
}

std::string closingLine(const ProgramTotals& totals, double realMhz, int32_t factor) {
    const std::string speed = realMhz > 0
                                  ? wholeMhz(realMhz * totals.percent / 100) + " MHz of " + wholeMhz(realMhz) + " MHz"
                                  : "clock speed unknown";
    return "lentora: the program ran at " + oneDecimal(totals.percent) + " % of a processor (" + speed + ") over " +
           oneDecimal(totals.seconds) + " s; the slow-down asked for " + askedPercent(factor) + " %";
}

std::string unmeasuredClosingLine(int32_t factor) {
    return "lentora: the program was not busy long enough to be measured; the slow-down asked for " +
           askedPercent(factor) + " %";
}

}  // namespace engine
