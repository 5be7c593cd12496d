// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cpu_group.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::cpugroup {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

bool hasWord(std::string_view list, std::string_view word, char separator) {
    for (std::string_view item : split(list, separator))
        if (item == word) return true;
    return false;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A mountinfo line: "id parent dev root mountpoint options [tags] - type source superoptions".
struct Mount {
    std::string_view root, point, type, superOptions;
};

bool parseMount(std::string_view line, Mount& mount) {
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) return false;
    const auto before = split(line.substr(0, dash), ' ');
    const auto after = split(line.substr(dash + 3), ' ');
    if (before.size() < 5 || after.size() < 3) return false;
    mount = {before[3], before[4], after[0], after[2]};
    return true;
}

// Where the group's folder is, given the mount of its hierarchy.
std::string folderOf(const Mount& mount, std::string_view path) {
    if (mount.root == "/") return std::string(mount.point) + (path == "/" ? "" : std::string(path));
    if (path.substr(0, mount.root.size()) != mount.root) return {};  // outside what is mounted
    return std::string(mount.point) + std::string(path.substr(mount.root.size()));
}

std::string mountedFolder(std::string_view mountinfoText, Hierarchy hierarchy, std::string_view path) {
    for (std::string_view line : split(mountinfoText, '\n')) {
        Mount mount;
        if (!parseMount(line, mount)) continue;
        const bool match = hierarchy == Hierarchy::V2
                               ? mount.type == "cgroup2"
                               : mount.type == "cgroup" && hasWord(mount.superOptions, "cpu", ',');
        if (match) return folderOf(mount, path);
    }
    return {};
}

std::string parentOf(const std::string& directory) { return directory.substr(0, directory.rfind('/')); }

// What real time met in the cpu groups: a fact of the whole process, which
// the rights steps note and every new thread and launched program reads
// (returnToOwnGroup) wherever it starts, so it is kept here, once.
std::atomic<RealtimeByGroup>& realtimeOutcome() {
    static std::atomic<RealtimeByGroup> outcome{RealtimeByGroup::NotRefused};
    return outcome;
}

}  // namespace

Place locate(std::string_view cgroupText, std::string_view mountinfoText) {
    Place place;
    std::string_view unified;
    for (std::string_view line : split(cgroupText, '\n')) {
        const auto fields = split(line, ':');
        if (fields.size() < 3) continue;
        // A path may itself hold colons: it is the rest of the line.
        const std::string_view path = line.substr(fields[0].size() + fields[1].size() + 2);
        if (fields[0] == "0" && fields[1].empty()) unified = path;
        if (hasWord(fields[1], "cpu", ',')) {
            place.hierarchy = Hierarchy::V1;
            place.path = path;
        }
    }
    if (place.hierarchy == Hierarchy::None && !unified.empty()) {
        place.hierarchy = Hierarchy::V2;
        place.path = unified;
    }
    if (place.hierarchy != Hierarchy::None) place.directory = mountedFolder(mountinfoText, place.hierarchy, place.path);
    return place;
}

const Place& ownPlace() {
    static const Place place = locate(readFile("/proc/self/cgroup"), readFile("/proc/self/mountinfo"));
    return place;
}

bool weighted(const Place& place) {
    if (place.hierarchy == Hierarchy::None || place.path == "/" || place.path.empty()) return false;
    if (place.hierarchy == Hierarchy::V1) return true;
    if (place.directory.empty()) return false;
    std::string controllers = readFile(place.directory + "/cgroup.controllers");
    if (!controllers.empty() && controllers.back() == '\n') controllers.pop_back();
    return hasWord(controllers, "cpu", ' ');
}

long long realtimeBudget(const Place& place) {
    if (place.hierarchy != Hierarchy::V1 || place.directory.empty()) return -1;
    const std::string text = readFile(place.directory + "/cpu.rt_runtime_us");
    return text.empty() ? -1 : std::atoll(text.c_str());
}

bool moveThread(pid_t tid, const std::string& directory) {
    const int file = open((directory + "/tasks").c_str(), O_WRONLY | O_CLOEXEC);
    if (file < 0) return false;
    const std::string text = std::to_string(tid);
    const bool moved = write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(file);
    return moved;
}

std::string budgetedAncestor(const Place& place) {
    if (place.hierarchy != Hierarchy::V1 || place.directory.empty() || place.path == "/") return {};
    // Up to the hierarchy's mount point, whose folder is the root group.
    const std::size_t depth = std::count(place.path.begin(), place.path.end(), '/');
    std::string directory = place.directory;
    for (std::size_t up = 0; up < depth; ++up) {
        directory = parentOf(directory);
        if (realtimeBudget({Hierarchy::V1, "?", directory}) > 0) return directory;
    }
    return {};
}

RealtimeByGroup realtimeByGroup() { return realtimeOutcome().load(); }

void noteRefusedByGroup() {
    auto expected = RealtimeByGroup::NotRefused;
    realtimeOutcome().compare_exchange_strong(expected, RealtimeByGroup::Refused);
}

bool rightsAllowRealtime(int priority) {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur >= static_cast<rlim_t>(priority)) return true;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))  // CAP_SYS_NICE is bit 23 of CapEff
        if (line.rfind("CapEff:", 0) == 0) return (std::strtoull(line.c_str() + 7, nullptr, 16) >> 23) & 1;
    return false;
}

void returnToOwnGroup() {
    if (realtimeOutcome().load() == RealtimeByGroup::GrantedAncestor) moveThread(gettid(), ownPlace().directory);
}

bool realtimeDespiteGroup(pid_t tid, int priority, int (*set)(pid_t tid, int priority)) {
    const Place& place = ownPlace();
    const pid_t thread = tid == 0 ? gettid() : tid;
    if (priority <= 0) {
        const bool set0 = set(tid, 0) == 0;
        if (realtimeOutcome().load() == RealtimeByGroup::GrantedAncestor) moveThread(thread, place.directory);
        return set0;
    }
    const int error = set(tid, priority);
    if (error == 0) return true;
    // An ordinary user without real-time rights meets the same EPERM: the
    // group is not why then, and the rights note must not say it is.
    if (error != EPERM || realtimeBudget(place) != 0 || !rightsAllowRealtime(priority)) return false;
    const std::string ancestor = budgetedAncestor(place);
    if (ancestor.empty() || !moveThread(thread, ancestor) || set(tid, priority) != 0) {
        noteRefusedByGroup();
        if (!ancestor.empty()) moveThread(thread, place.directory);
        return false;
    }
    realtimeOutcome().store(RealtimeByGroup::GrantedAncestor);
    return true;
}

}  // namespace platform::cpugroup
