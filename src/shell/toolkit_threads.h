// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The toolkit starts threads of its own when it first needs them: the pool
// that paints large areas in parallel, and the thread that carries its D-Bus
// connections (the notification area, the menus; Lentora's own clients of the
// desktop's services use no toolkit code and no thread of their own).
// Both are then waited for without a limit, so one that the system refused
// to create (a user at the limit on processes and threads) would hold the
// window up for good. They are started here, first thing at start-up, and
// checked while nothing waits on them yet.
#include <chrono>
#include <optional>

#include "platform/failure.h"

namespace shell {

// Nothing when both threads run; otherwise what could not be started.
// Call once, on the main thread, right after the application object exists.
platform::Result<> startToolkitThreads(std::chrono::milliseconds limit);

}  // namespace shell
