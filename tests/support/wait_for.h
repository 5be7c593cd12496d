// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting for a state instead of sampling a fixed moment: a busy machine
// makes the wait longer, never the test red.
#include <chrono>
#include <functional>
#include <thread>

// Checks the condition every poll interval until it holds (true) or the
// deadline has passed (false). Deadlines are generous: they bound a failing
// test, they do not measure promptness.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds deadline = std::chrono::seconds(10),
                    std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}
