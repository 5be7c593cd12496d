// SPDX-License-Identifier: GPL-3.0-or-later
#include "sandbox.h"
#include "file_text.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "test_paths.h"

namespace fs = std::filesystem;

Sandbox::Sandbox()
    : root(temp_.path()),
      home(root / "home"),
      configHome(home / ".config"),
      runtimeDir(root / "runtime"),
      work(root / "work"),
      programDir(root / "old games"),
      program(programDir / "child"),
      record(root / "record.txt") {
    for (const fs::path& dir : {home, configHome, runtimeDir, work, programDir}) fs::create_directories(dir);
    fs::permissions(runtimeDir, fs::perms::owner_all);
    fs::copy_file(testChildPath(), program);
}

fs::path Sandbox::storePath() const { return configHome / "lentora" / "registry.reg"; }

std::optional<std::string> Sandbox::readStore() const {
    if (!fs::exists(storePath())) return std::nullopt;
    return slurp(storePath());
}

void Sandbox::writeStore(const std::string& text) const {
    fs::create_directories(storePath().parent_path());
    std::ofstream(storePath(), std::ios::binary) << text;
}

std::vector<std::string> Sandbox::recordedLines() const {
    std::vector<std::string> lines;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Sandbox::childStarted() const {
    const auto lines = recordedLines();
    return !lines.empty() && lines.back() == "end";
}

void Sandbox::handOverTo(uid_t uid, gid_t gid) const {
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (lchown(entry.path().c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
    if (lchown(root.c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
}

std::optional<long> storedBench(const std::string& storeText) {
    const std::string key = "\"bench\"=dword:";
    const size_t at = storeText.find(key);
    if (at == std::string::npos) return std::nullopt;
    const std::string digits = storeText.substr(at + key.size(), 8);
    if (digits.size() != 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::nullopt;
    return std::stol(digits, nullptr, 16);
}

std::string storeWithBench(long milliseconds) {
    char value[16];
    std::snprintf(value, sizeof value, "%08lx", milliseconds);
    return std::string("Windows Registry Editor Version 5.00\n\n") +
           "[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n\"bench\"=dword:" + value + "\n";
}
