// SPDX-License-Identifier: GPL-3.0-or-later
#include "other_sessions.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>

#include "group_record.h"
#include "session_group.h"

namespace platform::sessions {
namespace {

constexpr int kLowest = 19;

// Fixed storage, so that a signal handler can put every group back.
std::array<groups::Held, 128> lowered;
std::atomic<bool> isLowered{false};
std::mutex changing;

long ownGroup() {
    const int file = open("/proc/self/autogroup", O_RDONLY | O_CLOEXEC);
    long id = -1;
    int nice = 0;
    if (file >= 0 && !groups::readGroup(file, id, nice)) id = -1;
    if (file >= 0) close(file);
    return id;
}

bool alreadyLowered(long id) {
    for (const groups::Held& held : lowered)
        if (held.groupFile >= 0 && held.id == id) return true;
    return false;
}

groups::Held* freeSlot() {
    for (groups::Held& held : lowered)
        if (held.groupFile < 0) return &held;
    return nullptr;
}

// The group of one process, when it is the user's, not Lentora's own, and
// nobody raised it. One already at the lowest is held too: another Lentora
// may have lowered it, and must not put it back while this one runs.
void lowerGroupOf(long pid, long own) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/autogroup", pid);
    struct stat status {};
    if (stat(path, &status) != 0 || status.st_uid != geteuid()) return;
    const int file = open(path, O_RDWR | O_CLOEXEC);
    long id = 0;
    int nice = 0;
    groups::Held* slot = freeSlot();
    if (file < 0 || !groups::readGroup(file, id, nice) || id == own || nice < 0 || alreadyLowered(id) ||
        slot == nullptr || !groups::hold(*slot, file)) {
        if (file >= 0) close(file);
        return;
    }
    if (!groups::setNice(file, kLowest)) groups::letGo(*slot);
}

}  // namespace

bool autogroupsDecide() {
    if (!session::grouped()) return false;
    // "4:cpu,cpuacct:/user.slice" (version 1) or "0::/user.slice/..." with
    // the cpu controller on (version 2): a group of its own.
    std::ifstream file("/proc/self/cgroup");
    std::string line;
    bool unified = false;
    std::string unifiedPath;
    while (std::getline(file, line)) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
        const std::string path = line.substr(second + 1);
        if (controllers.find(",cpu,") != std::string::npos) return path == "/";
        if (controllers == ",,") {
            unified = true;
            unifiedPath = path;
        }
    }
    if (!unified || unifiedPath == "/") return true;
    std::ifstream controllers("/sys/fs/cgroup/cgroup.controllers");
    std::string word;
    while (controllers >> word)
        if (word == "cpu") return false;
    return true;
}

bool lowerOthers() {
    std::lock_guard lock(changing);
    if (isLowered.load()) return true;
    if (!autogroupsDecide()) return false;
    const long own = ownGroup();
    if (own < 0) return false;
    session::arrangeWaysOut();
    isLowered.store(true);
    if (DIR* processes = opendir("/proc")) {
        while (const dirent* entry = readdir(processes))
            if (const long pid = std::strtol(entry->d_name, nullptr, 10); pid > 0) lowerGroupOf(pid, own);
        closedir(processes);
    }
    return true;
}

void restoreOthers() {
    std::lock_guard lock(changing);
    if (!isLowered.exchange(false)) return;
    for (groups::Held& held : lowered) groups::letGo(held);
}

void restoreOthersInHandler() {
    if (!isLowered.exchange(false)) return;
    for (groups::Held& held : lowered) groups::letGo(held, true);
}

}  // namespace platform::sessions
