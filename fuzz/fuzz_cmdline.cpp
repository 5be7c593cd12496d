// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line parse on arbitrary parameters: the input is split into
// parameters at NUL or newline and parsed with the processor known and
// unknown at a few clock speeds, then summarised for the status bar.
// Invariants: a failed parse leaves the settings at their defaults, a
// successful one keeps the values in the ranges the options allow, and the
// "/VIRTSPEED" refusal is reported only while the processor is unknown (from
// start-up or from a "/NOCPUID" that stands after it). A refused parameter
// that does not begin with '/' may still join the application command.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmdline/parameters.h"
#include "cmdline/status_text.h"

using namespace cmdline;

namespace {

std::vector<std::string> splitParameters(const uint8_t* data, size_t size) {
    std::vector<std::string> params(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n')
            params.emplace_back();
        else
            params.back() += c;
    }
    return params;
}

void check(bool condition) {
    if (!condition) std::abort();
}

bool hasNoCpuid(const std::vector<std::string>& params) {
    for (const std::string& p : params) {
        std::string upper = p;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (upper == "/NOCPUID") return true;
    }
    return false;
}

void parseOnce(const std::vector<std::string>& params, bool processorUnknown, double speed) {
    CommandLineSettings settings;
    settings.processorUnknown = processorUnknown;
    int refusals = 0;
    const bool ok = parameters(
                        params, settings, speed, [&] { ++refusals; }, 98)
                        .empty();
    check(refusals == 0 || processorUnknown || hasNoCpuid(params));
    if (!ok) {
        CommandLineSettings defaults;
        defaults.processorUnknown = processorUnknown;
        check(settings.minimize == defaults.minimize && settings.close == defaults.close);
        check(settings.waitSeconds == 0 && settings.runForSeconds == 0 && settings.factor == 0);
        check(settings.application.empty() && settings.arguments.empty());
        check(settings.processorUnknown == processorUnknown);
    } else {
        check(settings.waitSeconds >= 0 && settings.runForSeconds >= 0);
        check(settings.factor >= 0 && settings.factor <= 100);
        check(settings.processorUnknown || !processorUnknown);
        check(settings.application.empty() || settings.application.back() == ' ');
        check(settings.arguments.empty() == settings.application.empty());
    }
    const std::string status = startupStatusText(ok, settings);
    check(ok ? (status.empty() == settings.application.empty()) : status == "Error in command line parameters");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // a command line, not a file
    const std::vector<std::string> params = splitParameters(data, size);
    for (const bool unknown : {false, true})
        for (const double speed : {0.0, 0.001, 500.0, 3000.5, 1e300}) parseOnce(params, unknown, speed);
    return 0;
}
