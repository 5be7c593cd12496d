// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/realtime_kit.h"

#include <sched.h>
#include <sys/resource.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "bus_connection.h"

namespace platform {
namespace {

const char* const kService = "org.freedesktop.RealtimeKit1";
const char* const kPath = "/org/freedesktop/RealtimeKit1";
const char* const kDefaultSystemBus = "unix:path=/var/run/dbus/system_bus_socket";

const bus::Method kGet{kService, kPath, "org.freedesktop.DBus.Properties", "Get", "v"};
const bus::Method kMakeRealtime{kService, kPath, kService, "MakeThreadRealtime", ""};
const bus::Method kMakeHighPriority{kService, kPath, kService, "MakeThreadHighPriority", ""};

// A property's value, a variant that must hold an integer.
Result<long long> integerIn(sd_bus_message* reply, const char* property) {
    char type = 0;
    const char* contents = nullptr;
    const std::string held = sd_bus_message_peek_type(reply, &type, &contents) > 0 && contents ? contents : "";
    int32_t i = 0;
    uint32_t u = 0;
    int64_t x = 0;
    if (held == "i" && sd_bus_message_read(reply, "v", "i", &i) > 0) return i;
    if (held == "u" && sd_bus_message_read(reply, "v", "u", &u) > 0) return u;
    if (held == "x" && sd_bus_message_read(reply, "v", "x", &x) > 0) return x;
    return Failure{std::string("RealtimeKit's ") + property + " is of the type \"" + held + "\", not a number",
                   EBADMSG};
}

// One private connection per client, so that a test may point each client
// at a bus of its own and a client never disturbs the program's other use
// of the system bus.
class DBusRealtimeKit : public RealtimeKit {
public:
    DBusRealtimeKit(const std::string& address, std::chrono::milliseconds timeout)
        : bus_(bus::Connection::open(address, timeout)) {}

    Result<RealtimeKitLimits> limits() override {
        std::lock_guard lock(mutex_);
        const auto priority = property("MaxRealtimePriority");
        if (!priority) return *priority.failure();
        const auto nice = property("MinNiceLevel");
        if (!nice) return *nice.failure();
        const auto rttime = property("RTTimeUSecMax");
        if (!rttime) return *rttime.failure();
        if (!std::in_range<int>(*priority) || !std::in_range<int>(*nice))
            return Failure{"RealtimeKit's priorities are out of range", EBADMSG};
        return RealtimeKitLimits{static_cast<int>(*priority), static_cast<int>(*nice), *rttime};
    }

    bool makeThreadRealtime(pid_t tid, int priority) override {
        std::lock_guard lock(mutex_);
        return bus_ && bus_->call(kMakeRealtime, "tu", static_cast<uint64_t>(tid), static_cast<uint32_t>(priority));
    }

    bool makeThreadHighPriority(pid_t tid, int nice) override {
        std::lock_guard lock(mutex_);
        return bus_ && bus_->call(kMakeHighPriority, "ti", static_cast<uint64_t>(tid), static_cast<int32_t>(nice));
    }

private:
    Result<long long> property(const char* name) {
        if (!bus_) return *bus_.failure();
        const auto reply = bus_->call(kGet, "ss", kService, name);
        if (!reply) return *reply.failure();
        return integerIn(reply->get(), name);
    }

    std::mutex mutex_;  // burner threads ask at the same time; a connection serves one at a time
    Result<bus::Connection> bus_;
};

}  // namespace

std::unique_ptr<RealtimeKit> systemRealtimeKit(std::chrono::milliseconds timeout) {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return realtimeKitAt(address && *address ? address : kDefaultSystemBus, timeout);
}

std::unique_ptr<RealtimeKit> realtimeKitAt(const std::string& busAddress, std::chrono::milliseconds timeout) {
    return std::make_unique<DBusRealtimeKit>(busAddress, timeout);
}

namespace {

// Set with the limit, read by the SIGXCPU handler below.
std::atomic<rlim_t> guardSoftLimit{RLIM_INFINITY};

// SIGXCPU at the soft limit reaches the thread that overran it. Back to the
// normal policy (its nice value stays), and the soft limit, which the kernel
// has just moved a second on, back to where it was: the next real-time
// thread that overruns is caught in time too.
void demoteOverrunningThread(int) {
    const int savedErrno = errno;
    sched_param param{};
    sched_setscheduler(0, SCHED_OTHER | SCHED_RESET_ON_FORK, &param);
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) == 0) {
        limit.rlim_cur = std::min(guardSoftLimit.load(), limit.rlim_max);
        setrlimit(RLIMIT_RTTIME, &limit);
    }
    errno = savedErrno;
}

}  // namespace

bool limitRealtimeRunTime(long long usec, int softDivisor) {
    rlimit limit{};
    if (usec <= 0 || softDivisor < 1 || getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    limit.rlim_max = std::min(limit.rlim_max, static_cast<rlim_t>(usec));
    limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max / static_cast<rlim_t>(softDivisor));
    guardSoftLimit.store(limit.rlim_cur);
    struct sigaction action {};
    action.sa_handler = demoteOverrunningThread;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGXCPU, &action, nullptr) == 0 && setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

}  // namespace platform
