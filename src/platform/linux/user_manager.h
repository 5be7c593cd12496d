// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's own service manager (org.freedesktop.systemd1 on the session
// bus), for the few calls Lentora makes: a transient scope, its CPU weight,
// and the scopes a killed Lentora left. Every call, the connection included,
// waits a bounded time; after a call that no later one can escape (nobody
// answers, the bus is gone) the client stops asking, so a missing or silent
// manager costs one wait at most.
#include <sys/types.h>
#include <QDBusMessage>
#include <QList>
#include <QVariant>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class UserManager {
public:
    // Nothing, with the reason in error, when no bus answers within timeout.
    static std::unique_ptr<UserManager> connect(const std::string& busAddress, std::chrono::milliseconds timeout,
                                                std::string& error);
    ~UserManager();
    UserManager(const UserManager&) = delete;
    UserManager& operator=(const UserManager&) = delete;

    // A scope named name holding process pid; it ends when its processes do.
    bool startScope(const std::string& name, pid_t pid, std::string& error);
    // The unit's CPUWeight for as long as it lives (not kept across its end).
    bool setCpuWeight(const std::string& unit, unsigned long long weight, std::string& error);
    // The names of the loaded units that match a shell-style pattern.
    std::vector<std::string> unitsMatching(const std::string& pattern);

private:
    UserManager(std::string connectionName, std::chrono::milliseconds timeout);
    // The reply's arguments; nothing, with the reason in error, on any error.
    std::optional<QList<QVariant>> call(const char* method, const QList<QVariant>& arguments, std::string& error);

    std::string connectionName_;
    int timeoutMs_;
    bool unavailable_ = false;
};

}  // namespace platform
