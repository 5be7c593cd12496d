// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a shell command prints, for tests that drive helper programs.
#include <cstdio>
#include <string>

inline std::string shellOutput(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (pipe) pclose(pipe);
    return out;
}
