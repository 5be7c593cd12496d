// SPDX-License-Identifier: GPL-3.0-or-later
// The first step of the rights ladder: what the process may do by itself.
// Each probe runs on a thread of its own that ends right after, so nothing
// stays raised whatever the answer.
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/cpu_group.h"
#include "platform/realtime_kit.h"
#include "platform/rights.h"

namespace platform {
namespace {

template <typename Probe>
Grant onOwnThread(Probe probe) {
    Grant grant;
    try {
        std::thread([&] { grant = probe(); }).join();
    } catch (const std::system_error&) {
        // No thread to try on: nothing known, nothing granted.
    }
    return grant;
}

// 0, or the system's error number.
int setSchedFifo(pid_t tid, int priority) {
    sched_param param{};
    param.sched_priority = priority;
    return sched_setscheduler(tid, SCHED_FIFO, &param) == 0 ? 0 : errno;
}

// Where the kernel schedules real time by group and Lentora's group has no
// budget, root still gets it in a group above.
bool trySchedFifo(int priority) { return cpugroup::realtimeDespiteGroup(0, priority, setSchedFifo); }

// CAP_SYS_NICE among the effective capabilities (bit 23 of CapEff).
bool hasCapSysNice() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("CapEff:", 0) == 0) return (std::strtoull(line.c_str() + 7, nullptr, 16) >> 23) & 1;
    return false;
}

// What let the process take the real-time policy, for the user to read.
std::string realtimeGrantedBy() {
    if (!hasCapSysNice()) return "RLIMIT_RTPRIO";
    return geteuid() == 0 ? "root" : "CAP_SYS_NICE";
}

// Root and CAP_SYS_NICE may take any priority; otherwise RLIMIT_RTPRIO is the ceiling.
Grant probeRealtime() {
    const int highest = sched_get_priority_max(SCHED_FIFO);
    if (highest > 0 && trySchedFifo(highest)) return {GrantKind::RealTime, highest, {}, realtimeGrantedBy()};
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) return {};
    const int ceiling = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(std::max(highest, 1))));
    if (trySchedFifo(ceiling)) return {GrantKind::RealTime, ceiling, {}, "RLIMIT_RTPRIO"};
    return {};  // the limit is there, but a control group gives no real-time time
}

bool trySetNice(int nice) { return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0; }

// Root and CAP_SYS_NICE reach -20; otherwise RLIMIT_NICE allows 20 - limit.
Grant probeNice() {
    if (trySetNice(-20)) return {GrantKind::Nice, -20, {}};
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return {};
    const int lowest = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
    if (lowest < 0 && trySetNice(lowest)) return {GrantKind::Nice, lowest, {}};
    return {};
}

class OwnRights final : public RightsStep {
public:
    std::string name() const override { return "own rights"; }
    Grant realtime() override { return onOwnThread(probeRealtime); }
    Grant nice() override { return onOwnThread(probeNice); }

    bool makeRealtime(pid_t tid, int priority) override {
        return cpugroup::realtimeDespiteGroup(tid, priority, [](pid_t thread, int level) {
            sched_param param{};
            param.sched_priority = std::max(level, 0);
            // Reset on fork: threads and programs started from a real-time
            // thread begin at the normal policy instead of inheriting it. Only
            // a privileged thread may clear the flag, so it stays on the way back.
            const int policy = level > 0 ? SCHED_FIFO : SCHED_OTHER;
            return sched_setscheduler(thread, policy | SCHED_RESET_ON_FORK, &param) == 0 ? 0 : errno;
        });
    }
};

}  // namespace

std::unique_ptr<RightsStep> ownRightsStep() { return std::make_unique<OwnRights>(); }

std::vector<std::unique_ptr<RightsStep>> defaultRightsSteps(const RealtimeRunTime& runTime) {
    std::vector<std::unique_ptr<RightsStep>> steps;
    steps.push_back(ownRightsStep());
    steps.push_back(realtimeKitStep(systemRealtimeKit(), runTime));
    return steps;
}

}  // namespace platform
