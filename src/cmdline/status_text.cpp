// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/status_text.h"

namespace cmdline {
namespace {
constexpr const char* kGap = "   ";

std::string runForText(int32_t seconds) {
    if (seconds == 0) return std::string("runforever") + kGap;
    return "runfor:" + std::to_string(seconds) + kGap;
}
}  // namespace

std::string startupStatusText(bool parsedOk, const CommandLineSettings& settings) {
    if (!parsedOk) return "Error in command line parameters";
    if (settings.application.empty()) return {};
    std::string text;
    if (settings.minimize) text += std::string("minimize") + kGap;
    if (settings.close) text += std::string("close") + kGap;
    text += runForText(settings.runForSeconds);
    text += "wait:" + std::to_string(settings.waitSeconds) + kGap;
    text += "speed:" + std::to_string(settings.factor) + kGap;
    return text + "APP:" + settings.application;
}

}  // namespace cmdline
