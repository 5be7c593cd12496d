// SPDX-License-Identifier: GPL-3.0-or-later
#include "user_manager.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bus_probe.h"
#include "dbus_errors.h"

namespace platform {
namespace {

// A unit property and an auxiliary unit as the manager's calls take them: (sv) and (sa(sv)).
struct UnitProperty {
    QString name;
    QDBusVariant value;
};
struct AuxUnit {
    QString name;
    QList<UnitProperty> properties;
};

}  // namespace
}  // namespace platform

Q_DECLARE_METATYPE(platform::UnitProperty)
Q_DECLARE_METATYPE(platform::AuxUnit)

namespace platform {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const UnitProperty& property) {
    argument.beginStructure();
    argument << property.name << property.value;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, UnitProperty& property) {
    argument.beginStructure();
    argument >> property.name >> property.value;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const AuxUnit& unit) {
    argument.beginStructure();
    argument << unit.name << unit.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, AuxUnit& unit) {
    argument.beginStructure();
    argument >> unit.name >> unit.properties;
    argument.endStructure();
    return argument;
}

void registerTypes() {
    static std::once_flag once;
    std::call_once(once, [] {
        qDBusRegisterMetaType<UnitProperty>();
        qDBusRegisterMetaType<QList<UnitProperty>>();
        qDBusRegisterMetaType<AuxUnit>();
        qDBusRegisterMetaType<QList<AuxUnit>>();
    });
}

const char* const kService = "org.freedesktop.systemd1";
const char* const kPath = "/org/freedesktop/systemd1";
const char* const kManager = "org.freedesktop.systemd1.Manager";

std::atomic<int> connectionCount{0};

// Connecting says hello to the bus and waits for its answer without a limit
// of ours, so it runs on a thread of its own; one that does not finish in
// time is left to finish alone and then drops its connection.
struct Connecting {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    bool connected = false;
};

bool connectWithin(const QString& address, const QString& name, std::chrono::milliseconds timeout) {
    auto state = std::make_shared<Connecting>();
    try {
        std::thread([state, address, name] {
            const bool connected = QDBusConnection::connectToBus(address, name).isConnected();
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->connected = connected;
            if (state->abandoned || !connected) QDBusConnection::disconnectFromBus(name);
            state->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(state->mutex);
    state->finished.wait_for(lock, timeout, [&] { return state->done; });
    state->abandoned = !state->done;
    return state->done && state->connected;
}

}  // namespace

UserManager::UserManager(std::string connectionName, std::chrono::milliseconds timeout)
    : connectionName_(std::move(connectionName)),
      timeoutMs_(static_cast<int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 1))) {}

UserManager::~UserManager() { QDBusConnection::disconnectFromBus(QString::fromStdString(connectionName_)); }

Result<std::unique_ptr<UserManager>> UserManager::connect(const std::string& busAddress,
                                                          std::chrono::milliseconds timeout) {
    registerTypes();
    const std::string name = "lentora-user-manager-" + std::to_string(connectionCount++);
    // Qt's set-up cannot be stopped once started: a thread still waiting in it
    // when the program ends meets Qt's objects going away. A bus that stays
    // silent is therefore never handed to Qt at all.
    if (!bus::answers(busAddress, timeout) ||
        !connectWithin(QString::fromStdString(busAddress), QString::fromStdString(name), timeout))
        return Failure{"no session bus answered at " + busAddress};
    return std::unique_ptr<UserManager>(new UserManager(name, timeout));
}

Result<QList<QVariant>> UserManager::call(const char* method, const QList<QVariant>& arguments) {
    if (unavailable_) return *unavailable_;  // the reason given the first time
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kManager, method);
    message.setArguments(arguments);
    const QDBusMessage reply =
        QDBusConnection(QString::fromStdString(connectionName_)).call(message, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ReplyMessage) return reply.arguments();
    const QDBusError error(reply);
    Failure failure{(error.name() + ": " + error.message()).toStdString()};
    if (meansUnavailable(error)) unavailable_ = failure;
    return failure;
}

std::optional<Failure> UserManager::startScope(const std::string& name, pid_t pid) {
    const QList<UnitProperty> properties{
        {"Description", QDBusVariant(QStringLiteral("Lentora"))},
        {"PIDs", QDBusVariant(QVariant::fromValue(QList<uint>{static_cast<uint>(pid)}))},
        // Gone with its processes, even when one of them failed.
        {"CollectMode", QDBusVariant(QStringLiteral("inactive-or-failed"))},
    };
    return failureOf(
        call("StartTransientUnit", {QString::fromStdString(name), QStringLiteral("fail"),
                                    QVariant::fromValue(properties), QVariant::fromValue(QList<AuxUnit>{})}));
}

std::optional<Failure> UserManager::setCpuWeight(const std::string& unit, unsigned long long weight) {
    const QList<UnitProperty> properties{{"CPUWeight", QDBusVariant(QVariant::fromValue(qulonglong{weight}))}};
    // runtime: the setting goes with the unit instead of into the user's configuration.
    return failureOf(call("SetUnitProperties", {QString::fromStdString(unit), true, QVariant::fromValue(properties)}));
}

std::vector<std::string> UserManager::unitsMatching(const std::string& pattern) {
    const auto reply = call("ListUnitsByPatterns", {QStringList{}, QStringList{QString::fromStdString(pattern)}});
    std::vector<std::string> names;
    if (!reply || reply->isEmpty() || !reply->first().canConvert<QDBusArgument>()) return names;
    // a(ssssssouso): the name first, then what Lentora does not need.
    const QDBusArgument units = reply->first().value<QDBusArgument>();
    units.beginArray();
    while (!units.atEnd()) {
        QString name, text;
        QDBusObjectPath path;
        uint job = 0;
        units.beginStructure();
        units >> name >> text >> text >> text >> text >> text >> path >> job >> text >> path;
        units.endStructure();
        names.push_back(name.toStdString());
    }
    units.endArray();
    return names;
}

}  // namespace platform
