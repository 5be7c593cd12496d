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
#include <string>

namespace platform::groups {
namespace {

constexpr char kPrefix[] = "autogroup-";
constexpr std::size_t kBootIdLength = 36;
// Another Lentora holds the folder's lock for a few writes at most; one that
// is stopped (SIGSTOP, a debugger) must not hold every start for good.
constexpr int kGuardWaitMs = 3000;
// A way out by signal waits less, and then goes on without the lock.
constexpr int kGuardWaitInHandlerMs = 100;

enum class PutBack { Done, Later };

// One holder or repair at a time in this process (never waited for in a
// signal handler): every group the process holds shares the folder.
std::mutex& order() {
    static std::mutex mutex;
    return mutex;
}

// The records' folder, its lock file and the boot's id, opened and read
// once for the whole process, before its first group is held. The ways
// out's signal handler puts groups back through them (letGo), so they are
// plain values in static storage, set up without a guard a handler could
// meet half taken.
struct Records {
    int folder = -1;
    int guard = -1;
    char bootId[kBootIdLength + 1] = {};
};
Records& records() {
    static Records opened;
    return opened;
}

void pauseMs(long milliseconds) {
    const timespec pause{0, milliseconds * 1'000'000};
    nanosleep(&pause, nullptr);
}

// Signal-safe number reading and writing (no locale, no allocation).
bool parseInt(const char*& text, long& value) {
    const bool negative = *text == '-';
    const char* p = negative ? text + 1 : text;
    if (*p < '0' || *p > '9') return false;
    long v = 0;
    for (; *p >= '0' && *p <= '9' && v < 1'000'000'000'000L; ++p) v = v * 10 + (*p - '0');
    value = negative ? -v : v;
    text = p;
    return true;
}

std::size_t formatNice(int nice, char* text) {
    std::size_t n = 0;
    if (nice < 0) text[n++] = '-';
    const int magnitude = nice < 0 ? -nice : nice;
    if (magnitude >= 10) text[n++] = static_cast<char>('0' + magnitude / 10);
    text[n++] = static_cast<char>('0' + magnitude % 10);
    return n;
}

// A folder of the user's own under parent, made 0700 when missing; refused
// when it is a link, someone else's, or has any of the mode bits in refused.
int ownFolder(int parent, const char* name, mode_t refused = 077) {
    if (parent < 0) return -1;
    mkdirat(parent, name, 0700);
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (folder >= 0 && fstat(folder, &status) == 0 && status.st_uid == geteuid() && (status.st_mode & refused) == 0)
        return folder;
    if (folder >= 0) close(folder);
    return -1;
}

// name in the folder at path, which must be the user's own.
int folderIn(const std::string& path, const char* name) {
    const int parent = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    const bool ours = parent >= 0 && fstat(parent, &status) == 0 && status.st_uid == geteuid();
    const int folder = ours ? ownFolder(parent, name) : -1;
    if (parent >= 0) close(parent);
    return folder;
}

// Where /tmp/lentora-UID was taken by somebody else: a folder under the
// user's cache, one per machine (a home may be shared between machines).
int cacheFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (cache != nullptr && cache[0] == '/')
        base = cache;
    else if (home != nullptr && home[0] == '/')
        base = std::string(home) + "/.cache";
    else
        return -1;
    mkdir(base.c_str(), 0700);
    // lentora/ may hold other things of Lentora's, readable by others.
    const int parent = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    const bool ours = parent >= 0 && fstat(parent, &status) == 0 && status.st_uid == geteuid();
    const int lentora = ours ? ownFolder(parent, "lentora", 022) : -1;
    if (parent >= 0) close(parent);
    char host[72] = "sessions-";
    if (gethostname(host + 9, sizeof host - 10) != 0 || host[9] == '\0') std::strcpy(host + 9, "here");
    const int folder = ownFolder(lentora, host);
    if (lentora >= 0) close(lentora);
    return folder;
}

int recordsFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        if (const int folder = folderIn(runtime, "lentora"); folder >= 0) return folder;
    // Unset (or not the user's): a folder of the user's own in /tmp, where
    // anybody may have made the name first; then one under the user's cache.
    char name[32];
    std::snprintf(name, sizeof name, "lentora-%u", static_cast<unsigned>(geteuid()));
    if (const int folder = folderIn("/tmp", name); folder >= 0) return folder;
    return cacheFolder();
}

// A record outlives a reboot in /tmp or the cache; the boot's id tells.
bool readBootId() {
    const int file = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    const ssize_t n = read(file, records().bootId, kBootIdLength);
    close(file);
    return n == static_cast<ssize_t>(kBootIdLength);
}

bool folderReady() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!readBootId()) return;
        Records& opened = records();
        opened.folder = recordsFolder();
        if (opened.folder >= 0)
            opened.guard = openat(opened.folder, "groups.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    });
    return records().guard >= 0;
}

// The folder's lock, held briefly by whoever holds or lets go.
bool takeGuard(int milliseconds) {
    const long long until = nowNs() + milliseconds * 1'000'000LL;
    while (flock(records().guard, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || nowNs() >= until) return false;
        pauseMs(5);
    }
    return true;
}

// "<boot id> <found> <written>\n"; a record of another boot reads as none.
bool readRecord(int record, int& found, int& written) {
    char text[64] = {};
    const ssize_t n = pread(record, text, sizeof text - 1, 0);
    if (n <= static_cast<ssize_t>(kBootIdLength) || std::strncmp(text, records().bootId, kBootIdLength) != 0)
        return false;
    const char* p = text + kBootIdLength;
    long first = 0;
    long second = 0;
    if (*p++ != ' ' || !parseInt(p, first) || *p++ != ' ' || !parseInt(p, second) || *p != '\n') return false;
    if (first < -20 || first > 19 || second < -20 || second > 19) return false;
    found = static_cast<int>(first);
    written = static_cast<int>(second);
    return true;
}

void writeRecord(int record, int found, int written) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%s %d %d\n", records().bootId, found, written);
    if (ftruncate(record, 0) == 0 && length > 0) (void)!pwrite(record, text, static_cast<std::size_t>(length), 0);
}

// Without CAP_SYS_ADMIN the kernel takes one change of any group's nice
// value per tenth of a second, machine-wide, and says EAGAIN to the others:
// a write waits for its turn within patience.
bool writeNice(int groupFile, int nice, const Patience& patience) {
    char text[8];
    const std::size_t length = formatNice(nice, text);
    while (write(groupFile, text, length) != static_cast<ssize_t>(length)) {
        if (errno != EAGAIN && errno != EINTR) return false;
        if ((patience.abandon != nullptr && patience.abandon->load()) || nowNs() >= patience.untilNs) return false;
        pauseMs(10);
    }
    return true;
}

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
        // Its owner is asked of the file opened: a number reused between
        // a look by path and the opening would mix two processes.
        const int file = open(path, O_RDWR | O_CLOEXEC);
        struct stat status {};
        long group = 0;
        int nice = 0;
        if (file >= 0 && fstat(file, &status) == 0 && status.st_uid == geteuid() && readGroup(file, group, nice) &&
            group == id)
            found = file;
        else if (file >= 0)
            close(file);
    }
    closedir(processes);
    return found;
}

// The group's value now; where the process whose file was kept has ended,
// through another of the group's (not in a signal handler). False when the
// group is gone with its last process, or cannot be read.
bool currentNice(Held& held, int& nice, bool inSignalHandler) {
    long id = 0;
    if (readGroup(held.groupFile, id, nice)) return true;
    if (inSignalHandler) return false;
    const int group = openGroupOf(held.id);
    if (group < 0) return false;
    close(held.groupFile);
    held.groupFile = group;
    return readGroup(held.groupFile, id, nice);
}

// The value found goes back only over the one Lentora wrote.
PutBack putBack(Held& held, int found, int written, const Patience& patience, bool inSignalHandler) {
    int now = 0;
    if (written == kNotWritten || !currentNice(held, now, inSignalHandler) || now != written || now == found)
        return PutBack::Done;
    return writeNice(held.groupFile, found, patience) ? PutBack::Done : PutBack::Later;
}

void repairRecord(const char* name) {
    const int record = openat(records().folder, name, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (record < 0) return;
    if (flock(record, LOCK_EX | LOCK_NB) == 0) {  // nobody holds it
        int found = 0;
        int written = 0;
        Held left;
        left.id = std::strtol(name + sizeof kPrefix - 1, nullptr, 10);
        if (readRecord(record, found, written) && (left.groupFile = openGroupOf(left.id)) >= 0) {
            putBack(left, found, written, patienceOf(1000), false);
            close(left.groupFile);
        }
        unlinkat(records().folder, name, 0);
    }
    close(record);
}

}  // namespace

long long nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

Patience patienceOf(int milliseconds, const std::atomic<bool>* abandon) {
    return {nowNs() + milliseconds * 1'000'000LL, abandon};
}

bool readGroup(int groupFile, long& id, int& nice) {
    char text[128] = {};
    if (pread(groupFile, text, sizeof text - 1, 0) <= 0) return false;
    constexpr char kName[] = "/autogroup-";
    constexpr char kNice[] = " nice ";
    const char* p = text;
    long value = 0;
    if (std::strncmp(p, kName, sizeof kName - 1) != 0) return false;
    p += sizeof kName - 1;
    if (!parseInt(p, id) || std::strncmp(p, kNice, sizeof kNice - 1) != 0) return false;
    p += sizeof kNice - 1;
    if (!parseInt(p, value) || value < -20 || value > 19) return false;
    nice = static_cast<int>(value);
    return true;
}

bool setNice(int groupFile, int nice) {
    if (!writeNice(groupFile, nice, patienceOf(1000))) return false;
    long id = 0;
    int now = 0;
    return readGroup(groupFile, id, now) && now == nice;
}

bool hold(Held& held, int groupFile) {
    long id = 0;
    int nice = 0;
    if (!readGroup(groupFile, id, nice)) return false;
    std::lock_guard lock(order());
    held.id = id;
    held.found = nice;
    held.written = kNotWritten;
    held.recordFile = -1;
    const bool recorded = folderReady();
    if (recorded && !takeGuard(kGuardWaitMs)) return false;
    if (recorded) {
        std::snprintf(held.recordName, sizeof held.recordName, "%s%ld", kPrefix, held.id);
        const int record = openat(records().folder, held.recordName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (record >= 0) {
            const bool alone = flock(record, LOCK_EX | LOCK_NB) == 0;
            int found = nice;
            int written = nice;
            if (readRecord(record, found, written) && alone && written == nice && found != nice)
                setNice(groupFile, found);  // what a killed Lentora left
            else if (alone)
                found = nice;  // no record, or somebody set the group since: theirs stands
            if (alone) writeRecord(record, found, found);
            flock(record, LOCK_SH);
            held.recordFile = record;
            held.found = found;
        }
        flock(records().guard, LOCK_UN);
    }
    held.groupFile = groupFile;  // last: a signal handler looks at it
    return true;
}

bool change(Held& held, int nice, const Patience& patience) {
    long id = 0;
    int now = 0;
    if (held.groupFile < 0 || !readGroup(held.groupFile, id, now)) return false;
    if (held.recordFile >= 0) {
        // Noted first: a Lentora killed right after the write still leaves
        // what it wrote for the next start to compare.
        std::lock_guard lock(order());
        const bool guarded = takeGuard(kGuardWaitMs);
        int found = held.found;
        int written = kNotWritten;
        readRecord(held.recordFile, found, written);
        writeRecord(held.recordFile, found, nice);
        if (guarded) flock(records().guard, LOCK_UN);
    }
    // One already at the value (another Lentora lowered it) costs no turn.
    if (now != nice && !writeNice(held.groupFile, nice, patience)) return false;
    held.written = nice;
    return readGroup(held.groupFile, id, now) && now == nice;
}

bool letGo(Held& held, const Patience& patience, bool inSignalHandler, bool keepTrying) {
    // A signal handler may not wait for a mutex; it can only interrupt this
    // process's own holding, after which the process ends anyway.
    std::unique_lock lock(order(), std::defer_lock);
    if (!inSignalHandler) lock.lock();
    if (held.groupFile < 0) return true;
    const int savedErrno = errno;
    if (held.recordFile < 0) {
        if (putBack(held, held.found, held.written, patience, inSignalHandler) == PutBack::Later && keepTrying)
            return errno = savedErrno, false;
    } else {
        const bool guarded = takeGuard(inSignalHandler ? kGuardWaitInHandlerMs : kGuardWaitMs);
        // Only the last holder gets the record to itself. A failed attempt
        // drops the shared lock at once, so of two that let go together
        // the second always gets it. The record's values are the newest
        // any Lentora of the group noted.
        if (flock(held.recordFile, LOCK_EX | LOCK_NB) == 0) {
            int found = held.found;
            int written = held.written;
            readRecord(held.recordFile, found, written);
            if (putBack(held, found, written, patience, inSignalHandler) == PutBack::Later) {
                if (keepTrying) {
                    flock(held.recordFile, LOCK_SH);
                    if (guarded) flock(records().guard, LOCK_UN);
                    return errno = savedErrno, false;
                }
            } else {
                unlinkat(records().folder, held.recordName, 0);
            }
        }
        close(held.recordFile);
        held.recordFile = -1;
        if (guarded) flock(records().guard, LOCK_UN);
    }
    close(held.groupFile);
    held.groupFile = -1;
    errno = savedErrno;
    return true;
}

void forget(Held& held) {
    if (held.recordFile >= 0) close(held.recordFile);
    if (held.groupFile >= 0) close(held.groupFile);
    held.recordFile = -1;
    held.groupFile = -1;
}

void repairLeftovers() {
    std::lock_guard lock(order());
    if (!folderReady() || !takeGuard(kGuardWaitMs)) return;
    const int listing = dup(records().folder);
    if (DIR* folder = listing >= 0 ? fdopendir(listing) : nullptr) {
        rewinddir(folder);
        while (const dirent* entry = readdir(folder))
            if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) == 0) repairRecord(entry->d_name);
        closedir(folder);
    }
    flock(records().guard, LOCK_UN);
}

}  // namespace platform::groups
