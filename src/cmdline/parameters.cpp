// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/parameters.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "cmdline/int_text.h"

namespace cmdline {
namespace {

struct ParseContext {
    CommandLineSettings& settings;
    double processorSpeed;
    int32_t maxFactor;
    const std::function<void()>& showVirtspeedRefused;
};

void resetSettings(CommandLineSettings& settings, bool processorUnknown) {
    settings = CommandLineSettings{};
    settings.processorUnknown = processorUnknown;
}

// Options are matched case-insensitively; only 'a'..'z' change so that bytes
// of other encodings are never touched.
std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// On Linux an absolute path starts with '/', like a switch. A second '/'
// tells it apart: no option holds one, so such a parameter is a path.
bool isPath(std::string_view typed) { return typed.starts_with('/') && typed.find('/', 1) != std::string_view::npos; }

// The value of a value option is what follows the first '=' after the first
// character ("/WAITLONG=5" and "X/WAIT=5" both give 5). Without such an '='
// the parameter is not this option.
std::optional<int32_t> optionValue(std::string_view upper, std::string_view option) {
    if (upper.find(option) == std::string_view::npos) return std::nullopt;
    const size_t equals = upper.find('=', 1);
    if (equals == std::string_view::npos) return std::nullopt;
    return lenientInt(upper.substr(equals + 1));
}

// A rejected value is not stored: it could otherwise outlive the parse when
// the rejected parameter ends up in the application command.
bool storeIf(bool accepted, int32_t& field, int32_t value) {
    if (accepted) field = value;
    return accepted;
}

bool virtualSpeed(int32_t target, ParseContext& context) {
    if (context.settings.processorUnknown) {
        if (context.showVirtspeedRefused) context.showVirtspeedRefused();
        return false;
    }
    const double speed = context.processorSpeed;
    if (target < 0 || !(target < speed)) return false;
    // The product is formed in 64 bits so that no target can wrap it.
    const double share = static_cast<double>(int64_t{target} * 100) / speed;
    context.settings.factor = 100 - static_cast<int32_t>(std::trunc(share));
    return true;
}

bool setFlag(bool& flag) {
    flag = true;
    return true;
}

bool acceptOption(const std::string& upper, ParseContext& context) {
    CommandLineSettings& s = context.settings;
    if (upper == "/NOCPUID") return setFlag(s.processorUnknown);
    if (upper == "/MINIMIZE") return setFlag(s.minimize);
    if (upper == "/CLOSE") return setFlag(s.close);
    if (auto v = optionValue(upper, "/WAIT")) return storeIf(*v >= 0, s.waitSeconds, *v);
    if (auto v = optionValue(upper, "/RUNFOR")) return storeIf(*v >= 0, s.runForSeconds, *v);
    if (auto v = optionValue(upper, "/SPEED")) return storeIf(*v >= 0 && *v <= context.maxFactor, s.factor, *v);
    if (auto v = optionValue(upper, "/VIRTSPEED")) return virtualSpeed(*v, context);
    return false;
}

bool isOption(const std::string& typed, ParseContext& context) {
    return !isPath(typed) && acceptOption(upperAscii(typed), context);
}

}  // namespace

// The parameters are taken from the last to the first: everything after the
// last accepted option is the application command, so an option standing
// after a non-option, or an unknown switch, makes the command line invalid.
// The application's parameters are kept as they came, for its start; the
// text shown in the status bar quotes a parameter that held blanks (it was
// quoted on the command line), so that it reads as one.
static std::string quotedIfBlank(const std::string& parameter) {
    if (parameter.find_first_of(" \t") == std::string::npos || parameter.find('"') != std::string::npos)
        return parameter;
    return '"' + parameter + '"';
}

// Why a parameter that was not accepted was refused.
static std::string rejectionReason(const std::string& typed) {
    if (!typed.starts_with('/') || isPath(typed)) return "the program and its arguments must come after the options";
    const std::string upper = upperAscii(typed);
    for (const char* option : {"/WAIT", "/RUNFOR", "/SPEED", "/VIRTSPEED"})
        if (upper.find(option) != std::string::npos) return "the value is not accepted";
    return "not an option";
}

std::vector<RejectedParameter> parameters(const std::vector<std::string>& params, CommandLineSettings& settings,
                                          double processorSpeed, const std::function<void()>& showVirtspeedRefused,
                                          int32_t maxFactor) {
    const bool unknownAtStart = settings.processorUnknown;
    resetSettings(settings, unknownAtStart);
    ParseContext context{settings, processorSpeed, maxFactor, showVirtspeedRefused};
    bool optionsSeen = false;
    std::vector<RejectedParameter> rejected;
    for (auto it = params.rbegin(); it != params.rend(); ++it) {
        const std::string& typed = *it;
        if (isOption(typed, context)) {
            optionsSeen = true;
        } else if (optionsSeen || (typed.starts_with('/') && !isPath(typed))) {
            // Keep going: each refused "/VIRTSPEED" still reports.
            rejected.insert(rejected.begin(), {typed, rejectionReason(typed)});
        } else {
            settings.application = quotedIfBlank(typed) + ' ' + settings.application;
            settings.arguments.push_back(typed);
        }
    }
    std::reverse(settings.arguments.begin(), settings.arguments.end());
    if (!rejected.empty()) resetSettings(settings, unknownAtStart);
    return rejected;
}

bool startsUnattended(const std::vector<std::string>& params) {
    for (const std::string& typed : params) {
        const std::string upper = upperAscii(typed);
        if (upper == "/CLOSE" || upper == "/MINIMIZE") return true;
    }
    return !params.empty() && (!params.back().starts_with('/') || isPath(params.back()));
}

bool asksToClose(const std::vector<std::string>& params) {
    return std::any_of(params.begin(), params.end(), [](const std::string& p) { return upperAscii(p) == "/CLOSE"; });
}

}  // namespace cmdline
