// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/tokens.h"

namespace launch {
namespace {
constexpr const char* kClose = "close";
constexpr const char* kNoClose = "noclose";
constexpr const char* kMinimized = "minimized";
constexpr const char* kNotMinimized = "notminimized";
}  // namespace

bool launchCloses(const std::string& token) { return token == kClose; }

bool launchMinimizes(const std::string& token) { return token == kMinimized; }

bool dialogClosesChecked(const std::string& token) { return token == kClose; }

bool dialogMinimizeChecked(const std::string& token) { return token != kNotMinimized; }

const char* closeToken(bool close) { return close ? kClose : kNoClose; }

const char* minimizeToken(bool minimize) { return minimize ? kMinimized : kNotMinimized; }

}  // namespace launch
