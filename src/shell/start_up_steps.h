// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Steps of the main window's start-up that need nothing of the window.
#include <functional>
#include <memory>

#include "cmdline/parameters.h"
#include "cpuid/cpuid.h"
#include "shell/services.h"

namespace shell {

// The processor's identification; nullptr when it cannot be identified,
// which is no error: its speeds are then shown as unknown.
std::unique_ptr<cpuid::TCPUID> identifyProcessor(Services& services);

// Reads the program's parameters into settings; false when one was rejected.
// The status bar says only that the command line is wrong; standard error
// also says which parameter and why.
bool readCommandLine(const std::vector<std::string>& parameters, cmdline::CommandLineSettings& settings,
                     double processorSpeed, const std::function<void()>& virtualSpeedRefused);

}  // namespace shell
