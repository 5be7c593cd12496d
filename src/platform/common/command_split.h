// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the program a command names.
#include <string>

namespace platform {

// The path of the executable regular file that `name` names: `name` itself
// when it holds a '/', otherwise the first match in PATH. Empty when none.
std::string findProgram(const std::string& name);
// Why `name` names no executable regular file, as an error number (0: it does).
int programError(const std::string& name);

}  // namespace platform
