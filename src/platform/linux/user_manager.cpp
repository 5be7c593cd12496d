// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_manager.h"

namespace platform {
namespace {

const char* const kService = "org.freedesktop.systemd1";
const char* const kPath = "/org/freedesktop/systemd1";
const char* const kManager = "org.freedesktop.systemd1.Manager";

const bus::Method kStartTransientUnit{kService, kPath, kManager, "StartTransientUnit", "o"};
const bus::Method kSetUnitProperties{kService, kPath, kManager, "SetUnitProperties", ""};
// The name first, then what Lentora does not need.
const bus::Method kListUnitsByPatterns{kService, kPath, kManager, "ListUnitsByPatterns", "a(ssssssouso)"};

// The unit names of a checked a(ssssssouso) reply.
Result<std::vector<std::string>> unitNames(sd_bus_message* reply) {
    std::vector<std::string> names;
    int r = sd_bus_message_enter_container(reply, 'a', "(ssssssouso)");
    const char* name = nullptr;
    const char* skipped = nullptr;
    uint32_t job = 0;
    while (r > 0 && (r = sd_bus_message_read(reply, "(ssssssouso)", &name, &skipped, &skipped, &skipped, &skipped,
                                             &skipped, &skipped, &job, &skipped, &skipped)) > 0)
        names.emplace_back(name);
    if (r < 0) return Failure{"the user's service manager's list of units is unreadable: " + errorText(-r), -r};
    return names;
}

}  // namespace

Result<std::unique_ptr<UserManager>> UserManager::connect(const std::string& busAddress,
                                                          std::chrono::milliseconds timeout) {
    auto bus = bus::Connection::open(busAddress, timeout);
    if (!bus) return *bus.failure();
    return std::unique_ptr<UserManager>(new UserManager(std::move(*bus)));
}

Result<> UserManager::startScope(const std::string& name, pid_t pid) {
    // Gone with its processes, even when one of them failed.
    return withoutValue(bus_.call(kStartTransientUnit, "ssa(sv)a(sa(sv))", name.c_str(), "fail", 3, "Description", "s",
                                  "Lentora", "PIDs", "au", 1, static_cast<uint32_t>(pid), "CollectMode", "s",
                                  "inactive-or-failed", 0));
}

Result<> UserManager::setCpuWeight(const std::string& unit, unsigned long long weight) {
    // runtime: the setting goes with the unit instead of into the user's configuration.
    return withoutValue(
        bus_.call(kSetUnitProperties, "sba(sv)", unit.c_str(), 1, 1, "CPUWeight", "t", static_cast<uint64_t>(weight)));
}

Result<std::vector<std::string>> UserManager::unitsMatching(const std::string& pattern) {
    const auto reply = bus_.call(kListUnitsByPatterns, "asas", 0, 1, pattern.c_str());
    if (!reply) return *reply.failure();
    return unitNames(reply->get());
}

}  // namespace platform
