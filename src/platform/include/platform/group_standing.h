// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lentora's standing where the desktop schedules by control group. Since
// systemd 252 the user's service manager holds the cpu controller: every
// application runs in a scope of its own at equal weight, so the burners'
// nice values count only inside Lentora's own scope. The user's service
// manager lets the user weigh their own scopes without rights: Lentora asks
// it for a transient scope of its own ("lentora-<pid>.scope", which ends with
// its processes) and raises that scope's CPU weight, as far as the engine
// asks, while the slow-down runs.
// Programs Lentora launches start in the same scope, below the burners by
// their nice value as everywhere else.
#include <chrono>
#include <memory>
#include <string>

namespace platform {

// What the rights note needs to know.
struct GroupFacts {
    // The cpu controller shares the processor between groups: the session's
    // autogroup does nothing, nice values count only inside Lentora's group.
    bool schedulesByGroup = false;
    // Lentora's own scope is there, its weight can be raised.
    bool weightObtained = false;
    bool weightRaised = false;  // now
    // Why no weight was obtained, where the desktop schedules by group.
    std::string weightRefusal;
    // The kernel schedules real time by group and Lentora's group has no
    // real-time budget: the real-time policy is refused there, to root too.
    bool realtimeRefusedByGroup = false;
    // Root: real-time threads run in a group above that has a budget.
    bool realtimeInAncestorGroup = false;
};

class GroupStanding {
public:
    virtual ~GroupStanding() = default;
    // At start-up, before any program is launched: finds out how the desktop
    // schedules, puts back what a killed Lentora left raised and, where the
    // desktop schedules by group, moves the process into a scope of its own.
    virtual void prepare() = 0;
    // The slow-down runs: the scope's weight goes up to weight. From any thread.
    virtual void raise(unsigned long long weight) = 0;
    // It stops: the weight goes back. From any thread; nothing when not raised.
    virtual void lower() = 0;
    virtual GroupFacts facts() const = 0;
};

inline constexpr unsigned long long kUsualCpuWeight = 100;  // every scope's default
// Every call to the service manager, the connection included, waits at most this long.
inline constexpr std::chrono::milliseconds kUserManagerTimeout{250};

// This process's standing: detection from its own groups, the user's service
// manager on the session bus (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus).
GroupStanding& groupStanding();
// A standing that talks to the service manager at busAddress and takes the
// desktop's way of scheduling as given.
std::unique_ptr<GroupStanding> groupStandingAt(const std::string& busAddress, bool schedulesByGroup,
                                               std::chrono::milliseconds timeout = kUserManagerTimeout);

}  // namespace platform
