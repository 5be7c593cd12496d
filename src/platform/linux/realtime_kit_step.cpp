// SPDX-License-Identifier: GPL-3.0-or-later
// The rights ladder's step after the process's own rights: the desktop's
// real-time service, which grants an ordinary user of a local session real
// time and high priority for single threads.
#include <sched.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>

#include "platform/cpu_group.h"
#include "platform/realtime_kit.h"
#include "platform/rights.h"

namespace platform {
namespace {

// Said on the terminal: the rights note says only that real time is not in use.
void declined(const std::string& why) { std::fprintf(stderr, "lentora: RealtimeKit not used: %s\n", why.c_str()); }

// Asks on a thread of its own that ends right after: nothing stays raised.
template <typename Ask>
bool onOwnThread(Ask ask) {
    bool granted = false;
    try {
        std::thread([&] { granted = ask(gettid()); }).join();
    } catch (const std::system_error&) {}
    return granted;
}

class RealtimeKitStep final : public RightsStep {
public:
    RealtimeKitStep(std::unique_ptr<RealtimeKit> kit, const RealtimeRunTime& runTime)
        : kit_(std::move(kit)), runTime_(runTime) {}

    std::string name() const override { return "RealtimeKit"; }

    // The service grants real time only to a process whose RLIMIT_RTTIME
    // is within its limit, so the limit is set before the trial.
    Grant realtime() override {
        limits_ = usableLimits();
        if (!limits_ || !limitRealtimeRunTime(limits_->rttimeUSecMax, runTime_.softDivisor)) return {};
        if (!onOwnThread([this](pid_t tid) { return kit_->makeThreadRealtime(tid, 1); })) {
            // The service offered it; without budget the kernel refuses it to the service too.
            if (cpugroup::realtimeBudget(cpugroup::ownPlace()) == 0) cpugroup::noteRefusedByGroup();
            return {};
        }
        return {GrantKind::RealTime, limits_->maxRealtimePriority, {}};
    }

    // No nice grant for the ladder: the service's high priority is asked
    // thread by thread (below, where real time is refused), and a nice value
    // inside the session's own scheduling group would not hold the processor
    // against other sessions anyway.

    // Where the service refuses real time for a thread, it still gets the
    // service's high priority, the next best.
    bool makeRealtime(pid_t tid, int priority) override {
        if (tid == 0) tid = gettid();
        if (priority <= 0) {  // lowering needs no rights
            const sched_param param{};
            return sched_setscheduler(tid, SCHED_OTHER | SCHED_RESET_ON_FORK, &param) == 0;
        }
        if (!limits_) return false;
        if (kit_->makeThreadRealtime(tid, std::min(priority, limits_->maxRealtimePriority))) return true;
        kit_->makeThreadHighPriority(tid, limits_->minNiceLevel);
        return false;
    }

    bool makeHighPriority(pid_t tid) override {
        if (!limits_) return false;
        return kit_->makeThreadHighPriority(tid == 0 ? gettid() : tid, limits_->minNiceLevel);
    }

private:
    // The service's limits, where it grants real time within limits that
    // can be used.
    std::optional<RealtimeKitLimits> usableLimits() {
        auto limits = kit_->limits();
        // An answer of another shape is a fault worth saying; a missing service is common.
        if (!limits && limits.failure()->error == EBADMSG) declined(limits.failure()->reason);
        if (!limits || limits->maxRealtimePriority < 1) return std::nullopt;
        if (limits->rttimeUSecMax < runTime_.leastUsec) {
            declined("its limit on real-time run time, " + std::to_string(limits->rttimeUSecMax) + " µs, is below " +
                     std::to_string(runTime_.leastUsec) + " µs");
            return std::nullopt;
        }
        return *limits;
    }

    std::unique_ptr<RealtimeKit> kit_;
    const RealtimeRunTime runTime_;
    std::optional<RealtimeKitLimits> limits_;  // read once, before any thread asks
};

}  // namespace

std::unique_ptr<RightsStep> realtimeKitStep(std::unique_ptr<RealtimeKit> kit, const RealtimeRunTime& runTime) {
    return std::make_unique<RealtimeKitStep>(std::move(kit), runTime);
}

}  // namespace platform
