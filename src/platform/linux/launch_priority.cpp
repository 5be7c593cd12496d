// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch_priority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/cpu_group.h"
#include "priority.h"

namespace platform::launching {
namespace {

void configure(posix_spawnattr_t& attr, const LaunchStanding& standing) {
    short flags = 0;
    posix_spawnattr_getflags(&attr, &flags);
    flags |= POSIX_SPAWN_SETSCHEDULER;
    if (standing.ownSession) flags |= POSIX_SPAWN_SETSID;
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

int spawnAtLaunchPriority(posix_spawnattr_t& attr, const LaunchStanding& standing, const std::function<int()>& spawn) {
    configure(attr, standing);
    const int nice = standing.nice.value_or(priority::startNice());
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
