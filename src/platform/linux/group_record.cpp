// SPDX-License-Identifier: GPL-3.0-or-later
#include "group_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace platform::groups {
namespace {

constexpr char kPrefix[] = "autogroup-";
constexpr std::size_t kBootIdLength = 36;

std::mutex order;  // one holder or repair at a time in this process
std::once_flag folderOnce;
int folderFile = -1;
int guardFile = -1;
char bootId[kBootIdLength + 1] = {};

// A folder of the user's own under parent: made 0700 when missing, refused
// when it is a link, someone else's, or open to others.
int ownFolder(int parent, const char* name) {
    if (parent < 0) return -1;
    mkdirat(parent, name, 0700);
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (folder >= 0 && fstat(folder, &status) == 0 && status.st_uid == geteuid() && (status.st_mode & 077) == 0)
        return folder;
    if (folder >= 0) close(folder);
    return -1;
}

int runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const int parent = open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status {};
        const bool ours = parent >= 0 && fstat(parent, &status) == 0 && status.st_uid == geteuid();
        const int folder = ours ? ownFolder(parent, "lentora") : -1;
        if (parent >= 0) close(parent);
        if (folder >= 0) return folder;
    }
    // Unset (or not the user's): a folder of the user's own in /tmp, where
    // anybody may have made the name first; then there is no record.
    char name[32];
    std::snprintf(name, sizeof name, "lentora-%u", static_cast<unsigned>(geteuid()));
    const int tmp = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int folder = ownFolder(tmp, name);
    if (tmp >= 0) close(tmp);
    return folder;
}

// A record outlives a reboot only in /tmp; the boot's id tells.
bool readBootId() {
    const int file = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    const ssize_t n = read(file, bootId, kBootIdLength);
    close(file);
    return n == static_cast<ssize_t>(kBootIdLength);
}

bool folderReady() {
    std::call_once(folderOnce, [] {
        if (!readBootId()) return;
        folderFile = runtimeFolder();
        if (folderFile >= 0)
            guardFile = openat(folderFile, "groups.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    return guardFile >= 0;
}

// The folder's lock, held briefly by whoever holds or lets go. A signal
// handler does not wait for it long: a stopped Lentora must not keep
// another from ending.
void takeGuard(bool patient) {
    const timespec pause{0, 5'000'000};
    for (int tries = 0; flock(guardFile, patient ? LOCK_EX : LOCK_EX | LOCK_NB) != 0 && tries < 200; ++tries)
        if (errno != EINTR) nanosleep(&pause, nullptr);
}

// "<boot id> <nice>\n"; a record of another boot reads as none.
bool readRecord(int record, int& found) {
    char text[64] = {};
    const ssize_t n = pread(record, text, sizeof text - 1, 0);
    if (n <= static_cast<ssize_t>(kBootIdLength) || std::strncmp(text, bootId, kBootIdLength) != 0) return false;
    char* end = nullptr;
    const long value = std::strtol(text + kBootIdLength, &end, 10);
    if (end == text + kBootIdLength || *end != '\n' || value < -20 || value > 19) return false;
    found = static_cast<int>(value);
    return true;
}

void writeRecord(int record, int found) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%s %d\n", bootId, found);
    if (ftruncate(record, 0) == 0 && length > 0) (void)!pwrite(record, text, static_cast<std::size_t>(length), 0);
}

void keepFound(Held& held, int found) {
    const int length = std::snprintf(held.foundText, sizeof held.foundText, "%d", found);
    held.foundLength = length > 0 ? static_cast<std::size_t>(length) : 0;
}

// Without CAP_SYS_ADMIN the kernel takes one change of any group's nice
// value per tenth of a second, machine-wide, and says EAGAIN to the others:
// a write waits for its turn, up to about a second.
bool writeNice(int groupFile, const char* text, std::size_t length) {
    const timespec pause{0, 10'000'000};
    for (int tries = 0; tries < 100; ++tries) {
        if (write(groupFile, text, length) == static_cast<ssize_t>(length)) return true;
        if (errno != EAGAIN && errno != EINTR) return false;
        nanosleep(&pause, nullptr);
    }
    return false;
}

bool writeFound(const Held& held) { return writeNice(held.groupFile, held.foundText, held.foundLength); }

// /proc/PID/autogroup of a process of the user's in group id, opened for
// writing; -1 when no such process is left (the group is gone).
int openGroupOf(long id) {
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return -1;
    int found = -1;
    while (const dirent* entry = readdir(processes)) {
        if (found >= 0) break;
        const long pid = std::strtol(entry->d_name, nullptr, 10);
        if (pid <= 0) continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/autogroup", pid);
        struct stat status {};
        if (stat(path, &status) != 0 || status.st_uid != geteuid()) continue;
        const int file = open(path, O_RDWR | O_CLOEXEC);
        long group = 0;
        int nice = 0;
        if (file >= 0 && readGroup(file, group, nice) && group == id)
            found = file;
        else if (file >= 0)
            close(file);
    }
    closedir(processes);
    return found;
}

// The process whose file was kept has ended: another of the group's.
bool rewrite(Held& held) {
    const int group = openGroupOf(held.id);
    if (group < 0) return true;  // the group is gone with its last process
    close(held.groupFile);
    held.groupFile = group;
    return writeFound(held);
}

void repairRecord(const char* name) {
    const int record = openat(folderFile, name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (record < 0) return;
    if (flock(record, LOCK_EX | LOCK_NB) == 0) {  // nobody holds it
        int found = 0;
        const int group =
            readRecord(record, found) ? openGroupOf(std::strtol(name + sizeof kPrefix - 1, nullptr, 10)) : -1;
        if (group >= 0) {
            setNice(group, found);
            close(group);
        }
        unlinkat(folderFile, name, 0);
    }
    close(record);
}

}  // namespace

bool readGroup(int groupFile, long& id, int& nice) {
    char text[128] = {};
    if (pread(groupFile, text, sizeof text - 1, 0) <= 0) return false;
    return std::sscanf(text, "/autogroup-%ld nice %d", &id, &nice) == 2;
}

bool setNice(int groupFile, int nice) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d", nice);
    if (length <= 0 || !writeNice(groupFile, text, static_cast<std::size_t>(length))) return false;
    long id = 0;
    int now = 0;
    return readGroup(groupFile, id, now) && now == nice;
}

bool hold(Held& held, int groupFile) {
    int nice = 0;
    if (!readGroup(groupFile, held.id, nice)) return false;
    held.groupFile = groupFile;
    held.recordFile = -1;
    keepFound(held, nice);
    std::lock_guard lock(order);
    if (!folderReady()) return true;
    takeGuard(true);
    std::snprintf(held.recordName, sizeof held.recordName, "%s%ld", kPrefix, held.id);
    const int record = openat(folderFile, held.recordName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (record >= 0) {
        const bool alone = flock(record, LOCK_EX | LOCK_NB) == 0;
        int found = nice;
        if (!readRecord(record, found))
            writeRecord(record, nice);
        else if (alone && found != nice)  // what a killed Lentora left
            setNice(groupFile, found);
        flock(record, LOCK_SH);
        held.recordFile = record;
        keepFound(held, found);
    }
    flock(guardFile, LOCK_UN);
    return true;
}

void letGo(Held& held, bool inSignalHandler) {
    // A signal handler may not wait for a mutex; it can only interrupt this
    // process's own holding, after which the process ends anyway.
    std::unique_lock lock(order, std::defer_lock);
    if (!inSignalHandler) lock.lock();
    if (held.groupFile < 0) return;
    const int savedErrno = errno;
    if (held.recordFile < 0) {
        if (!writeFound(held) && !inSignalHandler) rewrite(held);
    } else {
        takeGuard(false);
        // Only the last holder gets the record to itself. A failed attempt
        // drops the shared lock at once, so of two that let go together
        // the second always gets it.
        if (flock(held.recordFile, LOCK_EX | LOCK_NB) == 0 && (writeFound(held) || (!inSignalHandler && rewrite(held))))
            unlinkat(folderFile, held.recordName, 0);
        close(held.recordFile);
        held.recordFile = -1;
        flock(guardFile, LOCK_UN);
    }
    close(held.groupFile);
    held.groupFile = -1;
    errno = savedErrno;
}

void repairLeftovers() {
    std::lock_guard lock(order);
    if (!folderReady()) return;
    takeGuard(true);
    const int listing = dup(folderFile);
    if (DIR* folder = listing >= 0 ? fdopendir(listing) : nullptr) {
        rewinddir(folder);
        while (const dirent* entry = readdir(folder))
            if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) == 0) repairRecord(entry->d_name);
        closedir(folder);
    }
    flock(guardFile, LOCK_UN);
}

}  // namespace platform::groups
