// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The processor clock as the kernel measured it at boot, for checking the
// program's own measurement against it (a test and a benchmark).
#include <exception>
#include <optional>
#include <string>

#include "shell_output.h"

// The number that follows `label` in the log and is itself followed by
// " MHz"; nothing when the log has no such line.
inline std::optional<double> loggedMhz(const std::string& log, const std::string& label) {
    const auto at = log.find(label);
    if (at == std::string::npos) return std::nullopt;
    std::size_t used = 0;
    double mhz = 0;
    try {
        mhz = std::stod(log.substr(at + label.size(), 32), &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (log.compare(at + label.size() + used, 4, " MHz") != 0) return std::nullopt;
    return mhz;
}

// The time-stamp counter's frequency in MHz from the kernel log: the refined
// calibration when logged, else the detected figure; nothing when the log
// cannot be read or has neither.
inline std::optional<double> kernelTscMhz() {
    const std::string log = shellOutput("dmesg 2>/dev/null");
    if (auto refined = loggedMhz(log, "tsc: Refined TSC clocksource calibration: ")) return refined;
    return loggedMhz(log, "tsc: Detected ");
}
