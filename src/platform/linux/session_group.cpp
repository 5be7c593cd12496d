// SPDX-License-Identifier: GPL-3.0-or-later
#include "session_group.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "group_record.h"
#include "other_sessions.h"

namespace platform::session {
namespace {

// Held from the first raise on, so that putting the value back needs no
// allocation or path lookup: the ways out's signal handler reaches both.
groups::Held own;
std::atomic<bool> isRaised{false};

// The ways out, as the engine set them: read by the worker of the other
// sessions and by the child that a signal handler forks (other_sessions.cpp).
std::array<int, kMostWaysOut> waysOutSet{};
std::atomic<int> waysOutCount{0};

// Within the kernel's turn for one change, or a little more.
constexpr int kPutBackMs = 1000;

void restoreInHandler() {
    if (isRaised.exchange(false)) groups::letGo(own, groups::patienceOf(kPutBackMs), true);
}

void restoreAll() {
    restore();
    sessions::restoreOthersAtExit();
}

// Puts the groups back, then lets the signal do what it would have done.
void onWayOut(int signal) {
    restoreInHandler();
    sessions::restoreOthersInHandler();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Shared with every other Lentora of the session: the value found is the
// one before the first of them raised it.
bool holdGroup() {
    const int file = open("/proc/self/autogroup", O_RDWR | O_CLOEXEC);
    if (file < 0) return false;
    if (groups::hold(own, file)) return true;
    close(file);
    return false;
}

}  // namespace

void setWaysOut(std::span<const int> asked) {
    int count = 0;
    for (int signal : asked.first(std::min<std::size_t>(asked.size(), kMostWaysOut))) waysOutSet[count++] = signal;
    waysOutCount.store(count);
}

std::span<const int> waysOut() { return std::span<const int>(waysOutSet).first(waysOutCount.load()); }

void arrangeWaysOut() {
    static std::once_flag arranged;
    std::call_once(arranged, [] {
        std::atexit(restoreAll);
        for (int signal : waysOut()) {
            struct sigaction current {};
            // A handler somebody else installed stays theirs.
            if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = onWayOut;
            sigemptyset(&action.sa_mask);
            sigaction(signal, &action, nullptr);
        }
    });
}

bool raise(int nice) {
    if (!isRaised.load()) {
        if (!holdGroup()) return false;
        arrangeWaysOut();
        isRaised.store(true);
    }
    if (groups::change(own, nice, groups::patienceOf(kPutBackMs))) return true;
    restore();
    return false;
}

void restore() {
    if (isRaised.exchange(false)) groups::letGo(own, groups::patienceOf(kPutBackMs));
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
