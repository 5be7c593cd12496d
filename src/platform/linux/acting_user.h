// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Root that saves in a folder another user owns acts there with that user's
// file-system identity: whatever that user swaps under the save (a folder for
// a link to /etc, between two steps), the kernel refuses what they could not
// do themselves. Only the calling thread changes (setfsuid and setfsgid are
// per thread, and so is the group list when set without glibc's broadcast).
#include <sys/types.h>

#include <vector>

namespace platform {

class ActingUser {
public:
    ActingUser() = default;
    ActingUser(const ActingUser&) = delete;
    ActingUser& operator=(const ActingUser&) = delete;
    // Gives the thread back its own identity.
    ~ActingUser();

    // For root, from now on until the end: the file-system identity of the
    // owner of something the save met (a folder, a link). Does nothing for
    // anyone else, for an owner that is root, or when already acting for
    // someone: the first owner met is the one who could change the rest.
    // False when the identity could not be taken: the save must stop there.
    bool actAsOwner(uid_t uid, gid_t gid);
    // Whom the kernel now checks the thread's file accesses for.
    uid_t uid() const;

private:
    bool acting_ = false;
    uid_t uid_ = 0;
    std::vector<gid_t> groups_;  // the thread's own, put back at the end
};

}  // namespace platform
