// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A throw-away world for one run of Lentora: its own home and configuration
// folder, a working directory, and a copy of the test child in a folder of
// its own whose name holds a blank (as "old games" folders do).
#include <gtest/gtest.h>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

class Sandbox {
public:
    Sandbox();

private:
    TempDir temp_{"e2e"};

public:
    std::filesystem::path root;
    std::filesystem::path home;
    std::filesystem::path configHome;
    std::filesystem::path runtimeDir;
    std::filesystem::path work;        // Lentora's current directory
    std::filesystem::path programDir;  // where the test child lives
    std::filesystem::path program;     // the test child
    std::filesystem::path record;      // what the test child writes

    std::filesystem::path storePath() const;
    std::optional<std::string> readStore() const;
    void writeStore(const std::string& text) const;

    // The lines the test child recorded ("arg=...", "cwd=...", "end").
    std::vector<std::string> recordedLines() const;
    bool childStarted() const;

    // Hands every folder to the given user so that Lentora may run as them.
    void handOverTo(uid_t uid, gid_t gid) const;
};

// The "bench" value of a store's text; nothing when it holds none.
std::optional<long> storedBench(const std::string& storeText);
// A store text holding the given benchmark time.
std::string storeWithBench(long milliseconds);

// A command line as a table case's name: each parameter's letters and digits,
// joined by '_' ({"/SPEED=99", "PROGRAM"}: SPEED99_PROGRAM).
inline std::string parametersName(const testing::TestParamInfo<std::vector<std::string>>& info) {
    std::string name;
    for (std::string parameter : info.param) {
        std::erase_if(parameter, [](unsigned char c) { return !std::isalnum(c); });
        name += (name.empty() ? "" : "_") + parameter;
    }
    return name;
}
