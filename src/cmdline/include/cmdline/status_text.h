// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's text after start-up: a summary of what the command line
// asked for, the parse error, or nothing.

#include <string>

#include "cmdline/parameters.h"

namespace cmdline {

std::string startupStatusText(bool parsedOk, const CommandLineSettings& settings);

}  // namespace cmdline
