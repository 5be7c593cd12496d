// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/group_standing.h"

#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/cpu_group.h"
#include "user_manager.h"

namespace platform {
namespace {

const char* const kScopePrefix = "lentora-";

std::string scopeName(pid_t pid) { return kScopePrefix + std::to_string(pid) + ".scope"; }

// "lentora-1234.scope" -> 1234; 0 for any other name.
pid_t scopeOwner(const std::string& name) {
    const std::string prefix = kScopePrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    return pid > 0 && std::string(end) == ".scope" ? static_cast<pid_t>(pid) : 0;
}

// A scope whose Lentora is gone: killed while the slow-down ran, with a
// program it launched still holding the scope (and its raised weight) alive.
// One named after this very process is a predecessor's whose number came round again.
bool leftOver(pid_t owner) { return owner == getpid() || (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH); }

class UserManagerStanding final : public GroupStanding {
public:
    UserManagerStanding(std::string busAddress, bool schedulesByGroup, std::chrono::milliseconds timeout,
                        const Result<>& weighable)
        : busAddress_(std::move(busAddress)),
          schedulesByGroup_(schedulesByGroup),
          timeout_(timeout),
          refusal_(weighable ? std::string() : weighable.failure()->reason) {}

    void prepare() override {
        std::lock_guard lock(mutex_);
        if (prepared_ || !schedulesByGroup_) return;
        prepared_ = true;
        if (!refusal_.empty()) return;
        auto manager = UserManager::connect(busAddress_, timeout_);
        if (!manager) return remember(withoutValue(manager));
        manager_ = std::move(*manager);
        putBackLeftovers();
        scope_ = scopeName(getpid());
        const auto started = manager_->startScope(scope_, getpid());
        obtained_ = bool(started);
        remember(started);
    }

    void raise(unsigned long long weight) override {
        std::lock_guard lock(mutex_);
        if (!obtained_ || raised_) return;
        const auto weighed = manager_->setCpuWeight(scope_, weight);
        raised_ = bool(weighed);
        remember(weighed);
    }

    void lower() override {
        std::lock_guard lock(mutex_);
        if (!raised_) return;
        raised_ = false;
        remember(manager_->setCpuWeight(scope_, kUsualCpuWeight));
    }

    GroupFacts facts() const override {
        GroupFacts facts;
        {
            std::lock_guard lock(mutex_);
            facts.schedulesByGroup = schedulesByGroup_;
            facts.weightObtained = obtained_;
            facts.weightRaised = raised_;
            if (schedulesByGroup_) facts.weightRefusal = refusal_;
        }
        const auto realtime = cpugroup::realtimeByGroup();
        facts.realtimeInAncestorGroup = realtime == cpugroup::RealtimeByGroup::GrantedAncestor;
        // Only a refusal that happened: a group without budget says nothing to
        // a user who had no real-time rights to begin with (ulimit -r 0).
        facts.realtimeRefusedByGroup = realtime == cpugroup::RealtimeByGroup::Refused;
        return facts;
    }

private:
    // The latest refusal is the one the rights note gives.
    void remember(const Result<>& outcome) {
        if (const Failure* failure = outcome.failure()) refusal_ = failure->reason;
    }

    void putBackLeftovers() {
        const auto units = manager_->unitsMatching(std::string(kScopePrefix) + "*.scope");
        if (!units) return remember(withoutValue(units));
        for (const std::string& unit : *units) {
            if (leftOver(scopeOwner(unit))) (void)manager_->setCpuWeight(unit, kUsualCpuWeight);  // best effort
        }
    }

    const std::string busAddress_;
    const bool schedulesByGroup_;
    const std::chrono::milliseconds timeout_;
    mutable std::mutex mutex_;  // raise and lower come from watchers' threads too
    std::string refusal_;       // the latest refusal, for the rights note; empty while none
    std::unique_ptr<UserManager> manager_;
    std::string scope_;
    bool prepared_ = false;
    bool obtained_ = false;
    bool raised_ = false;
};

// DBUS_SESSION_BUS_ADDRESS, else the usual socket in the user's runtime directory.
std::string sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return {};
    const std::string socket = std::string(runtime) + "/bus";
    std::error_code error;
    return std::filesystem::exists(socket, error) ? "unix:path=" + socket : std::string();
}

// Whether the user's service manager can weigh Lentora's group, and why not.
Result<> weighable(const cpugroup::Place& place, const std::string& busAddress) {
    if (place.hierarchy != cpugroup::Hierarchy::V2)
        return Failure{
            "the cpu controller is in a version 1 hierarchy, which the user's service manager does not weigh"};
    if (busAddress.empty()) return Failure{"no session bus"};
    return done();
}

}  // namespace

std::unique_ptr<GroupStanding> groupStandingAt(const std::string& busAddress, bool schedulesByGroup,
                                               std::chrono::milliseconds timeout) {
    return std::make_unique<UserManagerStanding>(busAddress, schedulesByGroup, timeout, done());
}

GroupStanding& groupStanding() {
    // Never destroyed: its connection must not be closed after the bus's own
    // machinery went at exit.
    static auto* standing = [] {
        const cpugroup::Place& place = cpugroup::ownPlace();
        const std::string address = sessionBusAddress();
        return new UserManagerStanding(address, cpugroup::weighted(place), kUserManagerTimeout,
                                       weighable(place, address));
    }();
    return *standing;
}

}  // namespace platform
