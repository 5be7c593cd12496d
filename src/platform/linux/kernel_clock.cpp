// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/kernel_clock.h"

#include <cstdio>
#include <exception>
#include <string>

namespace platform {
namespace {

std::string commandOutput(const char* command) {
    std::string output;
    if (FILE* pipe = popen(command, "r")) {
        char buffer[4096];
        while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// The number that follows `label` in the log and is itself followed by
// " MHz"; nothing when the log has no such line.
std::optional<double> loggedMhz(const std::string& log, const std::string& label) {
    auto at = log.find(label);
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

}  // namespace

std::optional<double> kernelTscMhz() {
    const std::string log = commandOutput("dmesg 2>/dev/null");
    if (auto refined = loggedMhz(log, "tsc: Refined TSC clocksource calibration: ")) return refined;
    return loggedMhz(log, "tsc: Detected ");
}

}  // namespace platform
