// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzzers that save real files share: a private folder for them, a
// way to read a file back whole, and a user who swaps folders mid-save.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
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

// Root saving through a user's link while the user exchanges the folder the
// link leads through with a link to a root-only folder, in a loop: home (the
// user's, uid 65534) holds `link` -> d/<name> and x -> ../outside; a process
// of its own exchanges d and x. Nothing in outside may change.
class FolderExchange {
public:
    FolderExchange(const std::filesystem::path& base, const std::string& link, const std::string& name,
                   const std::string* text)
        : home_(base / "home"), outside_(base / "outside"), name_(name), text_(text ? *text : "root's") {
        namespace fs = std::filesystem;
        fs::create_directories(home_ / "d");
        fs::create_directories(outside_);
        if (text) std::ofstream(home_ / "d" / name, std::ios::binary) << *text;
        std::ofstream(outside_ / name, std::ios::binary) << text_;
        fs::create_symlink("d/" + name, home_ / link);
        fs::create_symlink("../outside", home_ / "x");
        for (const fs::path& path : {home_, home_ / "d", home_ / "d" / name, home_ / link, home_ / "x"})
            if (lchown(path.c_str(), kUser, kUser) != 0 && path != home_ / "d" / name) std::abort();
        if (chmod(outside_.c_str(), 0700) != 0) std::abort();
    }
    ~FolderExchange() { stop(); }

    // Returns once the first exchange is done: the saves that follow meet
    // the link first, then either.
    void start() {
        int ready[2];
        if (pipe(ready) != 0) std::abort();
        if ((swapper_ = fork()) == 0) {
            for (bool told = false;; told = true) {
                renameat2(AT_FDCWD, (home_ / "d").c_str(), AT_FDCWD, (home_ / "x").c_str(), RENAME_EXCHANGE);
                if (!told && write(ready[1], "x", 1) != 1) _exit(1);
            }
        }
        char byte;
        if (swapper_ < 0 || read(ready[0], &byte, 1) != 1) std::abort();
        close(ready[0]);
        close(ready[1]);
    }
    void stop() {
        if (swapper_ <= 0) return;
        kill(swapper_, SIGKILL);
        while (waitpid(swapper_, nullptr, 0) < 0 && errno == EINTR) {}
        swapper_ = 0;
    }

    // The user's folder, whatever its name is now.
    std::filesystem::path folder() const {
        return std::filesystem::is_symlink(home_ / "d") ? home_ / "x" : home_ / "d";
    }
    bool outsideUntouched() const {
        const auto entries = std::distance(std::filesystem::directory_iterator(outside_), {});
        return entries == 1 && bytesOf(outside_ / name_) == text_;
    }

private:
    static constexpr uid_t kUser = 65534;
    std::filesystem::path home_, outside_;
    std::string name_, text_;
    pid_t swapper_ = 0;
};
