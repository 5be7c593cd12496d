// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus_connection.h"

#include <algorithm>
#include <cerrno>

namespace platform::bus {
namespace {

using Clock = std::chrono::steady_clock;

// The address's unix: entries, in their order; empty when it has none.
std::string localEntries(const std::string& address) {
    std::string local;
    for (std::size_t at = 0; at < address.size();) {
        const std::size_t end = std::min(address.find(';', at), address.size());
        const std::string entry = address.substr(at, end - at);
        if (entry.rfind("unix:", 0) == 0) local += (local.empty() ? "" : ";") + entry;
        at = end + 1;
    }
    return local;
}

std::string inMilliseconds(std::chrono::milliseconds timeout) { return std::to_string(timeout.count()) + " ms"; }

// Errors after which no later call can succeed.
bool meansUnavailable(const sd_bus_error* error) {
    return sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT,
                                  "org.freedesktop.DBus.Error.TimedOut", SD_BUS_ERROR_DISCONNECTED,
                                  SD_BUS_ERROR_NO_SERVER, SD_BUS_ERROR_NO_NETWORK);
}

struct Pending {
    bool done = false;
    Message reply;
};

int onReply(sd_bus_message* reply, void* pending, sd_bus_error*) {
    static_cast<Pending*>(pending)->reply.reset(sd_bus_message_ref(reply));
    static_cast<Pending*>(pending)->done = true;
    return 0;
}

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

}  // namespace

Result<Connection> Connection::open(const std::string& address, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const std::string local = localEntries(address);
    if (local.empty()) return Failure{"no local bus address in \"" + address + "\""};
    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r < 0) return Failure{"no bus connection: " + errorText(-r), -r};
    Connection connection(bus, timeout);
    r = sd_bus_set_address(bus, local.c_str());
    // No file descriptors are asked for or taken: none of the calls has any.
    if (r >= 0) r = sd_bus_negotiate_fds(bus, 0);
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
    while (r >= 0 && (r = sd_bus_is_ready(bus)) == 0) r = -connection.step(deadline);
    if (r == -ETIMEDOUT)
        return Failure{"no bus answered at " + local + " within " + inMilliseconds(timeout), ETIMEDOUT};
    if (r < 0) return Failure{"no bus at " + local + ": " + errorText(-r), -r};
    return connection;
}

Result<Message> Connection::send(const Message& message, const Method& method) {
    const auto deadline = Clock::now() + timeout_;
    Pending pending;
    sd_bus_slot* slot = nullptr;
    // sd-bus's own limit on the reply as well, so that a reply that came
    // too late is dropped with the slot.
    int r = sd_bus_call_async(bus_.get(), &slot, message.get(), onReply, &pending,
                              std::chrono::microseconds(timeout_).count());
    const std::unique_ptr<sd_bus_slot, SlotUnref> owned(slot);
    while (r >= 0 && !pending.done) r = -step(deadline);
    if (pending.done) return checked(std::move(pending.reply), method);
    unavailable_ =
        r == -ETIMEDOUT
            ? Failure{std::string("no answer to ") + method.name + " within " + inMilliseconds(timeout_), ETIMEDOUT}
            : Failure{std::string("the bus failed during ") + method.name + ": " + errorText(-r), -r};
    return *unavailable_;
}

Result<Message> Connection::checked(Message reply, const Method& method) {
    if (const sd_bus_error* error = sd_bus_message_get_error(reply.get())) {
        Failure failure{std::string(error->name) + ": " + (error->message ? error->message : ""),
                        sd_bus_error_get_errno(error)};
        if (meansUnavailable(error)) unavailable_ = failure;
        return failure;
    }
    if (sd_bus_message_has_signature(reply.get(), method.replySignature) <= 0) {
        const char* signature = sd_bus_message_get_signature(reply.get(), 1);
        return Failure{std::string("the reply to ") + method.name + " has the signature \"" +
                           (signature ? signature : "") + "\", not \"" + method.replySignature + "\"",
                       EBADMSG};
    }
    return reply;
}

int Connection::step(Clock::time_point deadline) {
    const int processed = sd_bus_process(bus_.get(), nullptr);
    if (processed < 0) return -processed;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ETIMEDOUT;
    if (processed > 0) return 0;  // more may be ready at once
    const int waited = sd_bus_wait(bus_.get(), static_cast<uint64_t>(left));
    return waited < 0 && waited != -EINTR ? -waited : 0;
}

}  // namespace platform::bus
