// SPDX-License-Identifier: GPL-3.0-or-later
// Lentora in a terminal without a display: "--help" and "--version" answer
// like every Linux program, and any other start says in one line that there
// is no display instead of aborting.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <string>

#include "test_paths.h"

namespace {

// Lentora's exit status (-1: it did not exit) and what it wrote on the
// streams `redirect` keeps ("2>&1 >/dev/null": standard error only).
std::pair<int, std::string> runWithoutDisplay(const std::string& args, const std::string& redirect = "2>/dev/null") {
    const std::string command =
        "env -i PATH=/usr/bin:/bin timeout 30 " + lentoraBinaryPath() + " " + args + " " + redirect;
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    const int status = pipe ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

}  // namespace

// Fault: "--version" aborted (SIGABRT) in the toolkit; "--help" opened the
// window and tried to start a program called "--help".
TEST(Terminal, HelpAndVersionAnswerWithoutADisplay) {
    EXPECT_EQ(runWithoutDisplay("--version"), std::pair(0, std::string("Lentora 2.05\n")));
    const auto [status, help] = runWithoutDisplay("--help");
    EXPECT_EQ(status, 0);
    for (const char* option : {"/SPEED=", "/VIRTSPEED=", "/WAIT=", "/RUNFOR=", "/MINIMIZE", "/CLOSE", "/NOCPUID"})
        EXPECT_NE(help.find(option), std::string::npos) << option << " missing from\n" << help;
}

TEST(Terminal, OtherStartsWithoutADisplaySaySoInOneLine) {
    const auto [status, said] = runWithoutDisplay("/SPEED=5 /CLOSE /bin/true", "2>&1 >/dev/null");
    EXPECT_EQ(status, 125);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("lentora: no display", 0), 0u) << said;
}
