// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options every Linux program answers, beside Lentora's own slash
// options: "--help" and "--version", each standing alone on the command line.
// They need no window, so they are answered before the toolkit starts.

#include <string>
#include <string_view>
#include <vector>

namespace cmdline {

enum class StandardOption { None, Help, Version };

StandardOption standardOption(const std::vector<std::string>& params);

// The usage text for "--help"; caption is the program's name and version.
std::string helpText(std::string_view caption);

}  // namespace cmdline
