// SPDX-License-Identifier: GPL-3.0-or-later
// The rights ladder's step after the process's own rights: the desktop's
// real-time service, which grants an ordinary user of a local session real
// time and high priority for single threads.
#include <sched.h>
#include <unistd.h>
#include <algorithm>
#include <system_error>
#include <thread>

#include "platform/cpu_group.h"
#include "platform/realtime_kit.h"
#include "platform/rights.h"

namespace platform {
namespace {

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
    explicit RealtimeKitStep(std::unique_ptr<RealtimeKit> kit) : kit_(std::move(kit)) {}

    std::string name() const override { return "RealtimeKit"; }

    // The service grants real time only to a process whose RLIMIT_RTTIME
    // is within its limit, so the limit is set before the trial.
    Grant realtime() override {
        limits_ = kit_->limits();
        if (!limits_ || limits_->maxRealtimePriority < 1 || !limitRealtimeRunTime(limits_->rttimeUSecMax)) return {};
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
    std::unique_ptr<RealtimeKit> kit_;
    std::optional<RealtimeKitLimits> limits_;  // read once, before any thread asks
};

}  // namespace

std::unique_ptr<RightsStep> realtimeKitStep(std::unique_ptr<RealtimeKit> kit) {
    return std::make_unique<RealtimeKitStep>(std::move(kit));
}

}  // namespace platform
