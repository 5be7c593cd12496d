// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's own service manager (org.freedesktop.systemd1 on the session
// bus), for the few calls Lentora makes: a transient scope, its CPU weight,
// and the scopes a killed Lentora left. Every call, the connection included,
// waits a bounded time; after a call that no later one can escape (nobody
// answers, the bus is gone) the client stops asking, so a missing or silent
// manager costs one wait at most.
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bus_connection.h"
#include "platform/failure.h"

namespace platform {

class UserManager {
public:
    // A failure when no bus answers within timeout.
    static Result<std::unique_ptr<UserManager>> connect(const std::string& busAddress,
                                                        std::chrono::milliseconds timeout);

    // A scope named name holding process pid; it ends when its processes do.
    Result<> startScope(const std::string& name, pid_t pid);
    // The unit's CPUWeight for as long as it lives (not kept across its end).
    Result<> setCpuWeight(const std::string& unit, unsigned long long weight);
    // The names of the loaded units that match a shell-style pattern.
    Result<std::vector<std::string>> unitsMatching(const std::string& pattern);

private:
    explicit UserManager(bus::Connection bus) : bus_(std::move(bus)) {}

    bus::Connection bus_;
};

}  // namespace platform
