// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/cpu_group.h"
#include "priority.h"

namespace platform::launching {
namespace {

std::atomic<LaunchPriority> current{LaunchPriority::Ordinary};

// The lowest level: nice 19 under the normal policy. Measured against
// SCHED_IDLE with bench/slowdown_bench (bench/README.md): at nice 19 a
// launched program follows the curve (8.6 % at factor 90, 2.1 % at 98),
// while under SCHED_IDLE it got 19 to 45 % at 90 and 11 to 41 % at 98.
constexpr int kLowestNice = 19;

void configure(posix_spawnattr_t& attr, LaunchPriority priority) {
    short flags = 0;
    posix_spawnattr_getflags(&attr, &flags);
    flags |= POSIX_SPAWN_SETSCHEDULER;
    if (priority == LaunchPriority::OrdinaryOwnSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attr, flags);
    posix_spawnattr_setschedpolicy(&attr, SCHED_OTHER);
    const sched_param param{};
    posix_spawnattr_setschedparam(&attr, &param);
}

// Lowering one's own priority is always allowed.
void becomeOrdinary(int nice) {
    const sched_param param{};
    sched_setscheduler(0, SCHED_OTHER, &param);
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
    // Programs start in Lentora's own cpu group, below the burners, even
    // when the launching thread is a real-time one that runs in a group above.
    cpugroup::returnToOwnGroup();
}

}  // namespace

void setPriority(LaunchPriority priority) { current.store(priority); }

LaunchPriority priority() { return current.load(); }

int spawnAtLaunchPriority(posix_spawnattr_t& attr, const std::function<int()>& spawn) {
    const LaunchPriority chosen = current.load();
    configure(attr, chosen);
    const int nice = chosen == LaunchPriority::Lowest ? kLowestNice : priority::startNice();
    int result = EAGAIN;
    try {
        std::thread([&] {
            becomeOrdinary(nice);
            result = spawn();
        }).join();
    } catch (const std::system_error&) {
        // No thread to start it from: no start rather than a raised program.
    }
    return result;
}

}  // namespace platform::launching
