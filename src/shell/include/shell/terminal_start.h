// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a start from a terminal or a script gets before any window exists:
// answers to "--help" and "--version", and one line on standard error
// instead of an abort when no display can be opened.
#include <optional>
#include <string>
#include <vector>

namespace shell {

// Prints the answer to "--help" or "--version" on standard output and gives
// the exit status; nothing when the parameters ask for neither.
std::optional<int> answerStandardOption(const std::vector<std::string>& parameters);

// While it lives, the toolkit's fatal message about a display it cannot open
// ends the program with one line on standard error and kOwnFailureStatus,
// instead of the toolkit's own lines and an abort. Made before the
// application object and dropped once that exists.
class DisplayGuard {
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
};

// Starts the toolkit's own threads (see toolkit_threads.h) right
// after the application object exists; when the system refuses one, ends
// the program with one line on standard error and kOwnFailureStatus.
void startToolkitThreadsOrEnd();

}  // namespace shell
