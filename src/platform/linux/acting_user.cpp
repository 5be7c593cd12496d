// SPDX-License-Identifier: GPL-3.0-or-later
#include "acting_user.h"

#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The group list of this thread only: glibc's setgroups sets it in every
// thread of the process.
bool setThreadGroups(const std::vector<gid_t>& groups) {
    return syscall(SYS_setgroups, groups.size(), groups.empty() ? nullptr : groups.data()) == 0;
}

// setfsuid reports the previous value, never a failure: asking again with an
// impossible value gives the current one.
bool fsIdentityIs(uid_t uid, gid_t gid) {
    return uid_t(setfsuid(uid_t(-1))) == uid && gid_t(setfsgid(gid_t(-1))) == gid;
}

}  // namespace

ActingUser::~ActingUser() {
    if (!acting_) return;
    // Root's capabilities over files come back with its fsuid. A failure
    // leaves the thread with fewer rights, never with more.
    setfsuid(geteuid());
    setfsgid(getegid());
    setThreadGroups(groups_);
}

bool ActingUser::actAsOwner(uid_t uid, gid_t gid) {
    if (acting_ || uid == 0 || geteuid() != 0) return true;
    const int count = getgroups(0, nullptr);
    groups_.resize(count > 0 ? std::size_t(count) : 0);
    if (count < 0 || getgroups(count, groups_.data()) != count) groups_.clear();
    acting_ = true;
    uid_ = uid;
    // Root's own groups (root's group first of all) would let the save
    // through where the owner may not go.
    const bool groupsSet = setThreadGroups({gid});
    setfsgid(gid);
    setfsuid(uid);
    return groupsSet && fsIdentityIs(uid, gid);
}

uid_t ActingUser::uid() const { return acting_ ? uid_ : geteuid(); }

}  // namespace platform
