// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's real-time service, RealtimeKit (org.freedesktop.RealtimeKit1
// on the system bus). It hands ordinary users, authorised by polkit for
// their local session, what their own rights do not reach: the round-robin
// real-time policy up to its highest priority, and nice values down to its
// lowest level, for threads of processes whose RLIMIT_RTTIME is no higher
// than its limit. A missing service, a refusal and a late answer all read
// as "not granted".
#include <sys/types.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform {

struct RealtimeKitLimits {
    int maxRealtimePriority = 0;  // highest SCHED_RR priority it grants
    int minNiceLevel = 0;         // lowest nice value it grants
    long long rttimeUSecMax = 0;  // the RLIMIT_RTTIME a process must stay within
};

class RealtimeKit {
public:
    virtual ~RealtimeKit() = default;
    // The service's limits; a failure when no service answers, or when it
    // answers with something else than numbers (error EBADMSG).
    virtual Result<RealtimeKitLimits> limits() = 0;
    // One thread of this process to SCHED_RR at `priority`. The service
    // refuses while RLIMIT_RTTIME is unset or above its limit.
    virtual bool makeThreadRealtime(pid_t tid, int priority) = 0;
    // One thread of this process to the nice value `nice`.
    virtual bool makeThreadHighPriority(pid_t tid, int nice) = 0;
};

// Connecting (the handshake and the bus's Hello) and every call wait at most
// this long; a start-up that finds no bus or no service spends at most one
// such wait for connecting and one for the first call.
inline constexpr std::chrono::milliseconds kRealtimeKitTimeout{250};

// The service on the system bus (DBUS_SYSTEM_BUS_ADDRESS, else the usual socket).
std::unique_ptr<RealtimeKit> systemRealtimeKit(std::chrono::milliseconds timeout = kRealtimeKitTimeout);
// The service on the bus at a D-Bus address ("unix:path=...").
std::unique_ptr<RealtimeKit> realtimeKitAt(const std::string& busAddress,
                                           std::chrono::milliseconds timeout = kRealtimeKitTimeout);

// Lowers RLIMIT_RTTIME's hard limit to at most `usec` microseconds, as the
// service asks: the kernel then ends the whole process when one of its
// real-time threads runs that long without sleeping. So that no such thread
// ends the program, the soft limit goes to the part 1/softDivisor of it, and
// a thread that reaches the soft limit (SIGXCPU) is put back to the normal
// policy. A lowered hard limit cannot be raised again without
// CAP_SYS_RESOURCE. False when the limit could not be set.
bool limitRealtimeRunTime(long long usec, int softDivisor);

}  // namespace platform
