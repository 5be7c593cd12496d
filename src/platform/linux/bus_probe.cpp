// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus_probe.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

namespace platform::bus {
namespace {

using Clock = std::chrono::steady_clock;

// "unix:path=/run/dbus/system_bus_socket,guid=..." -> the socket's address;
// abstract names start with a NUL byte. Values may be %-escaped.
std::optional<sockaddr_un> unixAddress(const std::string& entry, socklen_t& length) {
    if (entry.rfind("unix:", 0) != 0) return std::nullopt;
    for (std::size_t at = 5; at < entry.size();) {
        const std::size_t end = std::min(entry.find(',', at), entry.size());
        const std::string pair = entry.substr(at, end - at);
        at = end + 1;
        const bool abstract = pair.rfind("abstract=", 0) == 0;
        if (!abstract && pair.rfind("path=", 0) != 0) continue;
        std::string value;
        if (abstract) value.push_back('\0');
        for (std::size_t i = pair.find('=') + 1; i < pair.size(); ++i) {
            unsigned byte = 0;
            if (pair[i] == '%' && i + 2 < pair.size() && std::sscanf(pair.c_str() + i + 1, "%2x", &byte) == 1) {
                value.push_back(static_cast<char>(byte));
                i += 2;
            } else {
                value.push_back(pair[i]);
            }
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (value.size() >= sizeof address.sun_path) return std::nullopt;
        std::memcpy(address.sun_path, value.data(), value.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + value.size() + (abstract ? 0 : 1));
        return address;
    }
    return std::nullopt;
}

void align(std::string& message, std::size_t to) {
    while (message.size() % to != 0) message.push_back('\0');
}

void putUint32(std::string& message, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) message[at + i] = static_cast<char>(value >> (8 * i) & 0xff);
}

void appendField(std::string& message, char code, char type, const char* value) {
    align(message, 8);
    message += {code, '\1', type, '\0'};
    const std::size_t at = message.size();
    message.append(4, '\0');
    putUint32(message, at, static_cast<uint32_t>(std::strlen(value)));
    message.append(value, std::strlen(value) + 1);
}

// org.freedesktop.DBus.Hello, little-endian, serial 1, no body.
std::string helloMessage() {
    std::string message = {'l', '\1', '\0', '\1'};
    message.append(12, '\0');
    putUint32(message, 8, 1);
    appendField(message, 1, 'o', "/org/freedesktop/DBus");
    appendField(message, 2, 's', "org.freedesktop.DBus");
    appendField(message, 3, 's', "Hello");
    appendField(message, 6, 's', "org.freedesktop.DBus");
    putUint32(message, 12, static_cast<uint32_t>(message.size() - 16));
    align(message, 8);
    return message;
}

bool sendAll(int socket, const std::string& text) {
    return send(socket, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads until the text holds `until` (or `count` bytes), or the deadline.
bool receive(int socket, std::string& text, const char* until, std::size_t count, Clock::time_point deadline) {
    while ((until != nullptr && text.find(until) == std::string::npos) || (until == nullptr && text.size() < count)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd ready{socket, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[256];
        const ssize_t n = recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// The handshake by the owner's credentials, then Hello; any message back
// (its fixed part: byte order, type, flags, version 1) is an answer.
bool handshake(int socket, Clock::time_point deadline) {
    char uid[16];
    std::snprintf(uid, sizeof uid, "%u", static_cast<unsigned>(geteuid()));
    std::string auth("\0AUTH EXTERNAL ", 15);
    for (const char* c = uid; *c != '\0'; ++c) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*c));
        auth += hex;
    }
    std::string reply;
    if (!sendAll(socket, auth + "\r\n") || !receive(socket, reply, "\r\n", 0, deadline)) return false;
    if (reply.rfind("OK ", 0) != 0 || !sendAll(socket, "BEGIN\r\n" + helloMessage())) return false;
    std::string answer;
    return receive(socket, answer, nullptr, 16, deadline) && (answer[0] == 'l' || answer[0] == 'B') &&
           answer[3] == '\1';
}

bool entryAnswers(const std::string& entry, Clock::time_point deadline) {
    socklen_t length = 0;
    const auto address = unixAddress(entry, length);
    if (!address) return false;
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0) return false;
    // A local socket connects at once or not at all (a full backlog says
    // EAGAIN: as silent as no answer).
    const bool answered =
        connect(socket, reinterpret_cast<const sockaddr*>(&*address), length) == 0 && handshake(socket, deadline);
    close(socket);
    return answered;
}

}  // namespace

bool answers(const std::string& address, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (std::size_t at = 0; at < address.size();) {
        const std::size_t end = std::min(address.find(';', at), address.size());
        const std::string entry = address.substr(at, end - at);
        at = end + 1;
        if (entryAnswers(entry, deadline)) return true;
    }
    return false;
}

}  // namespace platform::bus
