// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a failed D-Bus call says about the calls after it, for the clients of
// the desktop's services (the real-time service, the user's service manager).
#include <QDBusError>

namespace platform {

// Errors after which no later call can succeed: nobody owns the name, the
// bus or the service did not answer in time, the connection is gone. A
// client stops asking then, rather than wait out its limit at every call.
inline bool meansUnavailable(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
    case QDBusError::NoNetwork:
        return true;
    default:
        return false;
    }
}

}  // namespace platform
