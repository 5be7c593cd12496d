// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/realtime_kit.h"

#include <sched.h>
#include <sys/resource.h>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QList>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "bus_probe.h"
#include "dbus_errors.h"

namespace platform {
namespace {

const char* const kService = "org.freedesktop.RealtimeKit1";
const char* const kPath = "/org/freedesktop/RealtimeKit1";
const char* const kPropertiesInterface = "org.freedesktop.DBus.Properties";
const char* const kDefaultSystemBus = "unix:path=/var/run/dbus/system_bus_socket";

std::atomic<int> connectionCount{0};

// Qt's set-up of a connection waits as long as the server keeps silent, and
// holds Qt's one D-Bus thread meanwhile: a bus that does not answer a probe
// in time is not connected to at all.
QDBusConnection connectIfAnswering(const std::string& address, const QString& name, int timeoutMs) {
    if (!bus::answers(address, std::chrono::milliseconds(timeoutMs))) return QDBusConnection(name);
    return QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

// One private connection per client, so that a test may point each client
// at a bus of its own and a client never disturbs the program's other use
// of the system bus.
class DBusRealtimeKit : public RealtimeKit {
public:
    DBusRealtimeKit(const std::string& address, std::chrono::milliseconds timeout)
        : name_(QStringLiteral("lentora-realtimekit-%1").arg(connectionCount++)),
          timeoutMs_(static_cast<int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 1))),
          bus_(connectIfAnswering(address, name_, timeoutMs_)),
          unavailable_(!bus_.isConnected()) {}

    ~DBusRealtimeKit() override { QDBusConnection::disconnectFromBus(name_); }

    std::optional<RealtimeKitLimits> limits() override {
        const auto priority = property("MaxRealtimePriority");
        const auto nice = priority ? property("MinNiceLevel") : std::nullopt;
        const auto rttime = nice ? property("RTTimeUSecMax") : std::nullopt;
        if (!rttime) return std::nullopt;
        return RealtimeKitLimits{static_cast<int>(*priority), static_cast<int>(*nice), *rttime};
    }

    bool makeThreadRealtime(pid_t tid, int priority) override {
        return call(kService, "MakeThreadRealtime",
                    {QVariant::fromValue(static_cast<qulonglong>(tid)),
                     QVariant::fromValue(static_cast<uint>(priority))})
            .has_value();
    }

    bool makeThreadHighPriority(pid_t tid, int nice) override {
        return call(kService, "MakeThreadHighPriority",
                    {QVariant::fromValue(static_cast<qulonglong>(tid)), QVariant::fromValue(static_cast<int>(nice))})
            .has_value();
    }

private:
    // The reply's arguments, nothing on any error. After an error that no
    // later call can escape, the client stops asking, so that a missing
    // service costs one wait at most.
    std::optional<QList<QVariant>> call(const char* interface, const char* method, const QList<QVariant>& arguments) {
        if (unavailable_) return std::nullopt;
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus_.call(message, QDBus::Block, timeoutMs_);
        if (reply.type() == QDBusMessage::ReplyMessage) return reply.arguments();
        unavailable_ = meansUnavailable(QDBusError(reply));
        return std::nullopt;
    }

    std::optional<long long> property(const char* name) {
        const auto reply = call(kPropertiesInterface, "Get", {QString(kService), QString(name)});
        if (!reply || reply->isEmpty()) return std::nullopt;
        bool ok = false;
        const long long value = reply->first().value<QDBusVariant>().variant().toLongLong(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }

    QString name_;
    int timeoutMs_;
    QDBusConnection bus_;
    std::atomic<bool> unavailable_;  // burner threads ask at the same time
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

bool limitRealtimeRunTime(long long usec) {
    rlimit limit{};
    if (usec <= 0 || getrlimit(RLIMIT_RTTIME, &limit) != 0) return false;
    limit.rlim_max = std::min(limit.rlim_max, static_cast<rlim_t>(usec));
    limit.rlim_cur = std::min(limit.rlim_cur, limit.rlim_max / 2);
    guardSoftLimit.store(limit.rlim_cur);
    struct sigaction action {};
    action.sa_handler = demoteOverrunningThread;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGXCPU, &action, nullptr) == 0 && setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

}  // namespace platform
