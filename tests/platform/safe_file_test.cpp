// SPDX-License-Identifier: GPL-3.0-or-later
// Saves that someone tries to turn elsewhere: root saving in a folder that
// another user owns, where that user swaps a folder for a link mid-save, and
// saves refused because of a link, which must touch nothing beside its target.
#include <platform/safe_file.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "file_text.h"
#include "in_child.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using platform::Result;

namespace {

// The names created, removed, written, renamed or changed in a folder since
// it was watched (the first of them: one buffer's worth).
struct FolderEvents {
    explicit FolderEvents(const fs::path& dir) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVE);
    }
    ~FolderEvents() { close(fd); }
    std::string names() const {
        std::string names;
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n; at += ssize_t(sizeof(inotify_event)) + eventAt(buffer + at)->len)
            names += std::string(eventAt(buffer + at)->len ? eventAt(buffer + at)->name : ".") + " ";
        return names;
    }
    static const inotify_event* eventAt(const char* at) { return reinterpret_cast<const inotify_event*>(at); }
    int fd;
};

void make(const fs::path& file, const std::string& text, uid_t owner, mode_t mode) {
    std::ofstream(file, std::ios::binary) << text;
    if (chown(file.c_str(), owner, owner) != 0 || chmod(file.c_str(), mode) != 0) ADD_FAILURE() << file;
}

platform::Result<> save(const fs::path& file, const std::string& text) {
    return platform::updateFileSafely(file, {4096, 0666, true}, [&](const std::string&, bool) {
        return Result<std::optional<std::string>>(std::optional(text));
    });
}

// As `sudo lentora` from a user's folder: lentora.ini is the user's link
// through their folder d, and the user exchanges d with a link to a root-only
// folder in a loop. The old save checked the file it opened, then worked by
// path again: 67 of 100 saves put the user's file in root's folder.
TEST(RedirectedSave, FolderSwappedForALinkMidSaveLandsNothingOutside) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to save in another user's folder (uid 65534)";
    const TempDir temp("race");
    const fs::path home = temp / "home", secret = temp / "secret";
    fs::create_directories(home / "d");
    fs::create_directory(secret);
    fs::permissions(temp.path(), fs::perms(0755));
    make(secret / "real.ini", "root's", 0, 0600);
    make(secret / ".real.ini.lock", "", 0, 0600);
    make(home / "d" / "real.ini", "user's", kNobody, 0644);
    fs::create_symlink("d/real.ini", home / "lentora.ini");
    fs::create_symlink(secret, home / "x");
    for (const fs::path& path : {home, home / "d", home / "lentora.ini", home / "x"})
        ASSERT_EQ(lchown(path.c_str(), kNobody, kNobody), 0);
    chmod(secret.c_str(), 0700);
    const FolderEvents outside(secret);
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) renameat2(AT_FDCWD, (home / "d").c_str(), AT_FDCWD, (home / "x").c_str(), RENAME_EXCHANGE);
    });
    int saves = 0, saved = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         std::chrono::steady_clock::now() < end; ++saves)
        saved += bool(save(home / "lentora.ini", "save " + std::to_string(saves) + "\n"));
    stop = true;
    swapper.join();
    EXPECT_EQ(outside.names(), "") << saved << " of " << saves << " saves got through";
    EXPECT_EQ(slurp(secret / "real.ini"), "root's");
    EXPECT_GT(saved, 0) << "no save of " << saves << " got through: the user's own file must still be saved";
}

// A refused save made and removed the lock file beside the link's target
// first: root removed an empty ".NAME.lock" anywhere (/etc/.pwd.lock while
// passwd held it). The folder of the target must not see a single event.
TEST(RefusedSave, TouchesNothingBesideTheLinksTarget) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user (uid 65534)";
    const struct {
        const char* name;
        uid_t folderOwner, linkOwner, targetOwner;
        mode_t folderMode;
        bool targetExists;
        std::string error;
    } cases[] = {
        {"PlantedInASharedFolder", 0, kNobody, 0, 01777, true, "another user made"},
        {"OwnLinkToAnotherUsersFile", 0, 0, kNobody, 0755, true, "belongs to another user"},
        {"FolderOwnersLinkToRootsFile", kNobody, kNobody, 0, 0755, true, "not theirs"},
        {"FolderOwnersLinkToNoFileYet", kNobody, kNobody, 0, 0755, false, "not theirs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir temp("refused");
        const fs::path home = temp / "home", target = temp / "victim" / "precious.txt";
        fs::create_directories(home);
        fs::create_directories(target.parent_path());
        fs::permissions(temp.path(), fs::perms(0755));
        make(target.parent_path() / ".precious.txt.lock", "", 0, 0644);
        if (c.targetExists) make(target, "kept", c.targetOwner, 0644);
        fs::create_symlink(target, home / "lentora.ini");
        ASSERT_TRUE(chown(home.c_str(), c.folderOwner, c.folderOwner) == 0 && chmod(home.c_str(), c.folderMode) == 0 &&
                    lchown((home / "lentora.ini").c_str(), c.linkOwner, c.linkOwner) == 0);
        const FolderEvents beside(target.parent_path());
        const auto failure = save(home / "lentora.ini", "new").failure();
        EXPECT_NE(failure.value_or(platform::Failure{}).reason.find(c.error), std::string::npos);
        EXPECT_EQ(beside.names(), "") << "the empty lock file there must stay, and nothing appear";
    }
}

}  // namespace
