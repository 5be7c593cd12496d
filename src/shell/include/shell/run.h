// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program: the one entry a layer above the shell uses. The shell passes
// on nothing it uses, so its other headers do not compile outside it.

namespace shell {

// Answers "--help" and "--version", or shows the splash window, builds the
// machine's real services and the main window with its start-up sequence,
// and runs the message loop. Gives the program's exit status.
int run(int argc, char** argv);

}  // namespace shell
