// SPDX-License-Identifier: GPL-3.0-or-later
#include "other_sessions.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "group_record.h"
#include "pinned_file.h"  // Fd
#include "proc_stat.h"
#include "session_group.h"

namespace platform::sessions {
namespace {

// One write waits this long for the kernel's turn before the worker moves
// on to the next group (and comes back later).
constexpr int kTurnWaitMs = 300;
// While some group waits for its turn, the worker looks again this often.
constexpr int kRetryMs = 200;
// The ways out put back what they can within these; the rest goes back in
// a child of its own (140 sessions take 14 s, more while another program
// takes the kernel's turns), which gives up after kChildBudgetMs and leaves
// what is left to the records (the next start repairs it).
constexpr int kExitBudgetMs = 1000;
constexpr int kHandlerBudgetMs = 1000;
constexpr int kChildBudgetMs = 120'000;

// Fixed storage, so that a signal handler can put every group back. Only
// the worker changes it, and a way out once the worker is out of it.
std::array<groups::Held, 512> lowered;

// The worker's state. Made once and never destroyed: the worker may still
// wait on it while the process ends.
struct Worker {
    std::mutex mutex;
    std::condition_variable wake;
    bool started = false;
    bool wanted = false;          // lowered, as last asked
    int nice = 0;                 // to what
    SessionRule takes = nullptr;  // which groups
    bool asked = false;           // asked since the worker last looked
    Progress progress;
};
Worker& worker() {
    static Worker* const w = new Worker;
    return *w;
}
// Between the worker and the ways out, their signal handler included.
std::atomic<bool> ending{false};  // a way out is under way: hands off the groups
std::atomic<bool> busy{false};    // the worker is changing a group

// What one pass over /proc tells of each group.
struct GroupFacts {
    SessionFacts facts;
    Fd file;  // the group's file of one of ours in it, open for writing
};

// What one process tells, all read through one descriptor of its folder:
// every fact is of that one process, and a file of one that ended (its
// number reused or not) reads as nothing.
struct ProcessFacts {
    long id = 0;  // its group
    int nice = 0;
    bool ours = false;    // real and effective user both the user's
    bool leader = false;  // it leads its session
    bool changeable = false;
    Fd file;  // its group's file, open for writing where changeable
};

long ownGroup() {
    const int file = open("/proc/self/autogroup", O_RDONLY | O_CLOEXEC);
    long id = -1;
    int nice = 0;
    if (file >= 0 && !groups::readGroup(file, id, nice)) id = -1;
    if (file >= 0) close(file);
    return id;
}

// A set-user-ID program is not the user's.
bool ownedByUser(int dir) {
    char text[2048];
    if (!proc::readSmallAt(dir, "status", text, sizeof text)) return false;
    const char* line = std::strstr(text, "\nUid:");
    unsigned real = 0;
    unsigned effective = 0;
    return line != nullptr && std::sscanf(line + 1, "Uid: %u %u", &real, &effective) == 2 && real == geteuid() &&
           effective == geteuid();
}

bool leadsSession(int dir, long pid) {
    char text[1024];
    long long session = -1;
    return proc::readSmallAt(dir, "stat", text, sizeof text) && proc::statFields(text, 6, 1, &session) &&
           session == pid;
}

// The group can be changed through its file where the file is the user's
// (not so for a process that made itself undumpable, such as ssh-agent).
bool readProcess(int dir, long pid, ProcessFacts& facts) {
    facts.file.reset(openat(dir, "autogroup", O_RDWR | O_CLOEXEC));
    struct stat status {};
    facts.changeable = facts.file.fd >= 0 && fstat(facts.file.fd, &status) == 0 && status.st_uid == geteuid();
    if (facts.file.fd < 0) facts.file.reset(openat(dir, "autogroup", O_RDONLY | O_CLOEXEC));
    if (facts.file.fd < 0 || !groups::readGroup(facts.file.fd, facts.id, facts.nice)) return false;
    facts.ours = ownedByUser(dir);
    facts.leader = leadsSession(dir, pid);
    return true;
}

bool alreadyHeld(long id) {
    for (const groups::Held& held : lowered)
        if (held.groupFile >= 0 && held.id == id) return true;
    return false;
}

groups::Held* freeSlot() {
    for (groups::Held& held : lowered)
        if (held.groupFile < 0) return &held;
    return nullptr;
}

int freeSlots() {
    int count = 0;
    for (const groups::Held& held : lowered) count += held.groupFile < 0 ? 1 : 0;
    return count;
}

// Every group of the machine not held yet, with what it holds. The file of
// one of ours in each is kept for the change, as many as there are slots to
// hold them: no more descriptors than the held groups may take.
std::map<long, GroupFacts> scanGroups(long own) {
    std::map<long, GroupFacts> found;
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return found;
    int room = freeSlots();
    while (const dirent* entry = readdir(processes)) {
        const long pid = std::strtol(entry->d_name, nullptr, 10);
        const Fd dir(pid > 0 ? openat(dirfd(processes), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
        ProcessFacts process;
        if (dir.fd < 0 || !readProcess(dir.fd, pid, process) || process.id == own || alreadyHeld(process.id)) continue;
        GroupFacts& group = found[process.id];
        group.facts.processes += 1;
        group.facts.usersOwn += process.ours ? 1 : 0;
        group.facts.leaderSeen = group.facts.leaderSeen || process.leader;
        group.facts.nice = process.nice;
        if (process.ours && process.changeable && group.file.fd < 0 && room > 0) {
            group.file = std::move(process.file);
            --room;
        }
    }
    closedir(processes);
    return found;
}

bool stillWanted(bool lower) {
    std::lock_guard lock(worker().mutex);
    return worker().wanted == lower && !ending.load();
}

// Runs one change of the groups unless a way out began; the way out waits
// for it to end (busy) before it touches the groups itself.
template <typename Change>
bool guarded(const Change& change) {
    busy.store(true);
    const bool done = !ending.load() && change();
    busy.store(false);
    return done;
}

// Holds the group behind file (of one of ours in it, kept from the scan)
// and lowers it, if takes still takes it at its value now. One already at
// the lowest is held too: another Lentora may have lowered it, and must not
// put it back while this one runs. True when it is worth trying again (the
// records' lock or the kernel's turn was taken; not for a process gone, or
// gone to another group).
bool lowerLater(Fd& file, long id, SessionFacts facts, SessionRule takes, int lowest) {
    long now = 0;
    groups::Held* slot = freeSlot();
    if (slot == nullptr || !groups::readGroup(file.fd, now, facts.nice) || now != id || !takes(facts)) return false;
    if (!guarded([&] { return groups::hold(*slot, file.fd); })) return true;
    file.fd = -1;  // the slot's now
    return !guarded([&] { return groups::change(*slot, lowest, groups::patienceOf(kTurnWaitMs, &ending)); });
}

// A held group not lowered yet: again, unless its process ended (then it
// is let go, and the next scan finds the group through another, if any).
bool lowerHeldLater(groups::Held& held, int lowest) {
    long id = 0;
    int nice = 0;
    if (!groups::readGroup(held.groupFile, id, nice))
        return !guarded([&] { return groups::letGo(held, groups::patienceOf(kTurnWaitMs, &ending)); });
    return !guarded([&] { return groups::change(held, lowest, groups::patienceOf(kTurnWaitMs, &ending)); });
}

// One pass: every group of the user's not yet at lowest. Returns those left
// waiting.
int lowerPass(int lowest, SessionRule takes) {
    int waiting = 0;
    for (groups::Held& held : lowered)
        if (held.groupFile >= 0 && held.written != lowest && stillWanted(true) && lowerHeldLater(held, lowest))
            ++waiting;
    for (auto& [id, group] : scanGroups(ownGroup())) {
        if (group.file.fd < 0 || !takes(group.facts)) continue;
        if (!stillWanted(true)) break;
        if (lowerLater(group.file, id, group.facts, takes, lowest)) ++waiting;
    }
    return waiting;
}

int restorePass() {
    int waiting = 0;
    for (groups::Held& held : lowered)
        if (held.groupFile >= 0 && stillWanted(false) &&
            !guarded([&] { return groups::letGo(held, groups::patienceOf(kTurnWaitMs, &ending), false, true); }))
            ++waiting;
    return waiting;
}

int heldAt(int lowest) {
    int count = 0;
    for (const groups::Held& held : lowered)
        if (held.groupFile >= 0 && held.written == lowest) ++count;
    return count;
}

void work() {
    Worker& w = worker();
    std::unique_lock lock(w.mutex);
    for (;;) {
        // Woken when asked; while something waits for its turn, every while.
        const auto pending = [&] { return w.asked || ending.load(); };
        if (w.progress.waiting > 0)
            w.wake.wait_for(lock, std::chrono::milliseconds(kRetryMs), pending);
        else
            w.wake.wait(lock, pending);
        if (ending.load()) return;
        w.asked = false;
        const bool lower = w.wanted;
        const int lowest = w.nice;
        const SessionRule takes = w.takes;
        lock.unlock();
        const int waiting = lower ? lowerPass(lowest, takes) : restorePass();
        const int atLowest = heldAt(lowest);
        lock.lock();
        w.progress = {.settled = !w.asked, .lowered = atLowest, .waiting = waiting};
    }
}

// The worker takes none of the ways out's signals: their handler waits for
// the worker to leave the groups alone. False when the system would not
// create it (a process limit): the sessions then stay as they are and the
// note says they are not lowered yet; the next Start tries again. An
// exception here would end the watcher's thread that asked, with the burners
// running and nobody left to stop them.
bool startWorker() {
    sigset_t ways;
    sigemptyset(&ways);
    for (int signal : session::waysOut()) sigaddset(&ways, signal);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &ways, &before);
    bool started = true;
    try {
        std::thread(work).detach();
    } catch (const std::system_error&) {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return started;
}

void ask(bool lower, int nice, SessionRule takes) {
    Worker& w = worker();
    std::lock_guard lock(w.mutex);
    if (!w.started && !lower) return;
    if (!w.started && !startWorker()) {
        w.progress.settled = false;
        return;
    }
    w.started = true;
    w.wanted = lower;
    if (lower) {
        w.nice = nice;
        w.takes = takes;
    }
    w.asked = true;
    w.progress.settled = false;
    w.wake.notify_all();
}

// A way out: the worker stops touching the groups (it gives up a wait for
// the kernel's turn at once); waits a little for a change under way.
void stopWorker(int milliseconds) {
    ending.store(true);
    const long long until = groups::nowNs() + milliseconds * 1'000'000LL;
    const timespec pause{0, 1'000'000};
    while (busy.load() && groups::nowNs() < until) nanosleep(&pause, nullptr);
}

// What could not go back within budget goes back in a child: it shares the
// records' locks, so no other Lentora or repair takes the groups meanwhile,
// and Lentora itself ends at once. Only calls that are safe after fork and
// in a signal handler.
void putBackRest(const groups::Patience& budget, bool inSignalHandler) {
    bool left = false;
    for (groups::Held& held : lowered)
        if (!groups::letGo(held, budget, inSignalHandler, true)) left = true;
    if (!left) return;
    // _Fork, not fork: fork runs the C library's handlers, which take the
    // allocator's locks, and a signal may have come in the middle of an
    // allocation on this very thread.
    if (_Fork() == 0) {
        // What the ways out do by default, but the hang-up of the terminal that goes with Lentora.
        for (int signal : session::waysOut()) std::signal(signal, signal == SIGHUP ? SIG_IGN : SIG_DFL);
        const groups::Patience rest = groups::patienceOf(kChildBudgetMs);
        for (groups::Held& held : lowered) groups::letGo(held, rest, true);
        _exit(0);
    }
    for (groups::Held& held : lowered) groups::forget(held);
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

bool lowerOthers(int nice, SessionRule takes) {
    if (takes == nullptr || ending.load() || !autogroupsDecide() || ownGroup() < 0) return false;
    session::arrangeWaysOut();
    ask(true, nice, takes);
    return true;
}

void restoreOthers() { ask(false, 0, nullptr); }

Progress progress() {
    Worker& w = worker();
    std::lock_guard lock(w.mutex);
    return w.progress;
}

void restoreOthersAtExit() {
    stopWorker(kExitBudgetMs / 4);
    {
        Worker& w = worker();
        std::lock_guard lock(w.mutex);
        w.wake.notify_all();
    }
    putBackRest(groups::patienceOf(kExitBudgetMs), false);
}

void restoreOthersInHandler() {
    stopWorker(50);
    putBackRest(groups::patienceOf(kHandlerBudgetMs), true);
}

}  // namespace platform::sessions
