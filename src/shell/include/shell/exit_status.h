// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lentora's exit status. What happened is told as it happens; the status is
// decided here alone, when the program ends, and every way out asks for it.

namespace shell {

// The exit status when Lentora itself fails (no display, no thread to watch a
// program with, a start-up that cannot be completed): as for wrappers such as
// env or timeout, apart from the program's own statuses and the shell's 126 and 127.
inline constexpr int kOwnFailureStatus = 125;
// The exit status after a refused command line, as shells and coreutils give
// for wrong usage: nothing was started.
inline constexpr int kRefusedCommandLineStatus = 2;

class ExitStatus {
public:
    // Lentora itself could not go on.
    void ownFailure() { ownFailure_ = true; }
    // A parameter of the command line was rejected.
    void refusedCommandLine() { refusedCommandLine_ = true; }
    // A watch that closes Lentora ended: the launched program's status as a
    // wrapper gives it (see launch::waitforapplication::exitStatus).
    void programEnded(int status) { program_ = status; }

    // Lentora's own failure comes first, then the refused command line, and
    // only then the program's: a launcher that reads the program's status
    // must not take a failure of Lentora's for the program's own.
    int code() const {
        if (ownFailure_) return kOwnFailureStatus;
        if (refusedCommandLine_) return kRefusedCommandLineStatus;
        return program_;
    }

private:
    bool ownFailure_ = false;
    bool refusedCommandLine_ = false;
    int program_ = 0;
};

}  // namespace shell
