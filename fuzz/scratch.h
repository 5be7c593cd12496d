// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzzers that save real files share: a private folder for them and
// a way to read a file back whole.
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A folder of this process's own, on a memory file system when there is one,
// named after the fuzzer (prefix) and removed when the process exits. One
// prefix per process: the first call decides.
inline const std::filesystem::path& scratchDirNamed(const char* prefix) {
    namespace fs = std::filesystem;
    // Never destroyed: the clean-up at exit still needs it.
    static const fs::path& dir = *new fs::path([prefix] {
        const fs::path base = fs::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        const fs::path made = base / (prefix + std::to_string(getpid()));
        fs::create_directories(made);
        std::atexit([] { fs::remove_all(dir); });  // copies end with _exit and leave it alone
        return made;
    }());
    return dir;
}

inline std::string bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
