// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One application of the launch box. Every field is kept as the bytes stored
// in the launch list file; numbers are converted only where they are used.

#include <string>

namespace launch {

struct LaunchEntry {
    std::string name, path, factor, runFor, wait, closeToken, minimizeToken;
    bool operator==(const LaunchEntry&) const = default;
};

}  // namespace launch
