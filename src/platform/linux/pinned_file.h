// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file named by a path, pinned: the folder that holds it open as a
// descriptor, every component on the way (and of every link followed)
// looked up by descriptor from the one before, never by path again. What is
// done in that folder afterwards happens there, whatever is renamed or
// swapped on the way meanwhile.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>

#include "acting_user.h"

namespace platform {

// Closes the descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd, -1));
        return *this;
    }
    ~Fd() { reset(-1); }
    void reset(int f);
};

// Opens one name in a folder without following a link in its place: with
// O_PATH the link itself, else ELOOP. Never leaves the folder (no "..", no
// "/"). O_CLOEXEC always.
int openIn(int folder, const std::string& name, int flags, mode_t mode = 0);

struct PinnedFile {
    Fd folder;  // an O_PATH descriptor; none when pinning failed
    std::string name;
    // Links followed from the file's name: whether any, and who made them.
    bool viaLink = false;
    uid_t linkOwner = 0;
    bool ownersDiffer = false;
    // When pinning failed: the system's error, or a link not followed (the reason).
    int error = 0;
    std::string refusal;
    bool inFolders = false;  // the failure came on the way to the folder
};

struct PinRules {
    bool makeFolders = false;  // creates the missing folders on the way (mode 0777, the umask applies)
};

// A link is followed only when the user or the owner of its folder made it
// (on the way to the folder, root's links too: nobody else can make them).
// As root, acts from the first folder or link of another user on as that
// user (see acting_user.h). The name is a link, if at all, only when it was
// swapped in since: opening it without following fails with ELOOP.
PinnedFile pinFile(const std::filesystem::path& file, ActingUser& actor, PinRules rules = {});

}  // namespace platform
