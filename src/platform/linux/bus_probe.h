// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a D-Bus server answers at all. Qt's connection set-up (the
// handshake and the bus's Hello) waits as long as the server holds the
// connection open without a word; a probe with a deadline comes first.
#include <chrono>
#include <string>

namespace platform::bus {

// True when the server at the D-Bus address (its first unix: entry that
// connects) answers the handshake and Hello within timeout. Addresses of
// other transports read as silent: the services asked over the system bus
// know their callers by the credentials of a local socket only.
bool answers(const std::string& address, std::chrono::milliseconds timeout);

}  // namespace platform::bus
