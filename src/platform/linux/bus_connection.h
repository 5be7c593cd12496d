// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private connection to a D-Bus bus (sd-bus), for the clients of the
// desktop's services (the real-time service, the user's service manager).
// Whatever the peer does, no step waits past its limit: connecting (the
// handshake and the bus's Hello), every call, and closing, which never waits.
// Nothing runs behind the caller's back: no thread of the connection's own,
// so a connection given up holds nothing that the next one needs.
//
// Not for two threads at once; a client that several threads use holds a lock.
#include <systemd/sd-bus.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace platform::bus {

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// A method of a service, and the signature its reply must have.
struct Method {
    const char* service;
    const char* path;
    const char* interface;
    const char* name;
    const char* replySignature;
};

class Connection {
public:
    // The bus at address (its unix: entries only: the services know their
    // callers by the credentials of a local socket), connected and past its
    // Hello within timeout; a failure otherwise. Every call waits as long.
    static Result<Connection> open(const std::string& address, std::chrono::milliseconds timeout);

    // Calls the method with the arguments that sd_bus_message_append takes
    // for types. The reply, whose signature is checked before anything reads
    // it; or a failure: the service's error, no reply in time, a closed bus,
    // a reply of another shape (error EBADMSG). After a failure that no later
    // call can escape (nobody owns the name, no reply in time, the bus is
    // gone), every later call fails at once with it: a missing or silent
    // service costs one wait at most.
    template <typename... Arguments>
    Result<Message> call(const Method& method, const char* types, Arguments... arguments) {
        if (unavailable_) return *unavailable_;
        sd_bus_message* message = nullptr;
        int r = sd_bus_message_new_method_call(bus_.get(), &message, method.service, method.path, method.interface,
                                               method.name);
        Message owned(message);
        if (r >= 0) r = sd_bus_message_append(message, types, arguments...);
        if (r < 0) return Failure{std::string("cannot ask ") + method.name + ": " + errorText(-r), -r};
        return send(owned, method);
    }

private:
    struct Close {
        void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }  // no flush, which could wait
    };
    Connection(sd_bus* bus, std::chrono::milliseconds timeout) : bus_(bus), timeout_(timeout) {}
    Result<Message> send(const Message& message, const Method& method);
    Result<Message> checked(Message reply, const Method& method);
    // Reads and writes what the socket allows, or waits for it until the
    // deadline: 0, or the error that ends the wait (ETIMEDOUT at the deadline).
    int step(std::chrono::steady_clock::time_point deadline);

    std::unique_ptr<sd_bus, Close> bus_;
    std::chrono::milliseconds timeout_;
    std::optional<Failure> unavailable_;
};

}  // namespace platform::bus
