// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The processor clock as the kernel measured it at boot, for checking our
// own measurement against it.
#include <optional>

namespace platform {

// The time-stamp counter's frequency in MHz from the kernel log: the refined
// calibration when logged, else the detected figure; nothing when the log
// cannot be read or has neither.
std::optional<double> kernelTscMhz();

}  // namespace platform
