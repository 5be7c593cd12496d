// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: everything else is the shell's (shell/run.h).
#include "shell/run.h"

int main(int argc, char** argv) { return shell::run(argc, argv); }
