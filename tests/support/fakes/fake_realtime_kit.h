// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted RealtimeKit for tests: it answers as the test set (by default
// like the service's defaults: priority 20, nice -15, 200 ms) and records
// every request.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/realtime_kit.h"

namespace platform {

class FakeRealtimeKit : public RealtimeKit {
public:
    void setLimits(std::optional<RealtimeKitLimits> limits);  // nothing: no service
    void setGrants(bool realtime, bool highPriority);         // default: both granted

    // "realtime(tid,priority)" and "high(tid,nice)" in order.
    std::vector<std::string> requests() const;

    Result<RealtimeKitLimits> limits() override;
    bool makeThreadRealtime(pid_t tid, int priority) override;
    bool makeThreadHighPriority(pid_t tid, int nice) override;

private:
    mutable std::mutex mutex_;
    std::optional<RealtimeKitLimits> limits_ = RealtimeKitLimits{20, -15, 200000};
    bool realtime_ = true;
    bool highPriority_ = true;
    std::vector<std::string> requests_;
};

}  // namespace platform
