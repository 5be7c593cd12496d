#include "session_group.h"

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::session {
namespace {

// Kept open from the first raise on, so that putting the value back needs no
// allocation or path lookup, only one write (allowed in a signal handler).
int groupFile = -1;
char foundText[16] = {};
std::size_t foundLength = 0;
std::atomic<bool> isRaised{false};

constexpr int kWaysOut[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// The file cannot seek; every write is read whole from its start.
bool writeText(const char* text, std::size_t length) {
    return write(groupFile, text, length) == static_cast<ssize_t>(length);
}

// "/autogroup-13 nice -10" -> -10.
bool readNice(int& nice) {
    char text[128] = {};
    const ssize_t n = pread(groupFile, text, sizeof text - 1, 0);
    const char* at = n > 0 ? std::strstr(text, " nice ") : nullptr;
    return at != nullptr && std::sscanf(at, " nice %d", &nice) == 1;
}

// Puts the group back, then lets the signal do what it would have done.
void onWayOut(int signal) {
    restore();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void arrangeRestore() {
    std::atexit(restore);
    for (int signal : kWaysOut) {
        struct sigaction current {};
        // A handler somebody else installed stays theirs.
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = onWayOut;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

bool openGroup() {
    if (groupFile >= 0) return true;
    const int file = open("/proc/self/autogroup", O_RDWR | O_CLOEXEC);
    if (file < 0) return false;
    groupFile = file;
    int found = 0;
    if (!readNice(found)) {
        close(groupFile);
        groupFile = -1;
        return false;
    }
    const int length = std::snprintf(foundText, sizeof foundText, "%d", found);
    foundLength = length > 0 ? static_cast<std::size_t>(length) : 0;
    arrangeRestore();
    return true;
}

}  // namespace

bool raise(int nice) {
    if (!openGroup()) return false;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d", nice);
    if (length <= 0 || !writeText(text, static_cast<std::size_t>(length))) return false;
    int now = 0;
    isRaised.store(readNice(now) && now == nice);
    return isRaised.load();
}

void restore() {
    if (!isRaised.exchange(false) || groupFile < 0) return;
    const int savedErrno = errno;
    writeText(foundText, foundLength);
    errno = savedErrno;
}

bool raised() { return isRaised.load(); }

bool grouped() {
    FILE* file = std::fopen("/proc/sys/kernel/sched_autogroup_enabled", "r");
    if (file == nullptr) return false;
    int enabled = 0;
    const bool read = std::fscanf(file, "%d", &enabled) == 1;
    std::fclose(file);
    return read && enabled == 1;
}

}  // namespace platform::session
