// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting programs without a shell and watching them.
#include <sys/types.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace platform {

class Process {
public:
    // Closing the handle: a program still running is reaped when it ends.
    virtual ~Process() = default;
    // Polls for about a millisecond; true while the program runs.
    virtual bool running() = 0;
    // Blocks until the program ended.
    virtual void waitForEnd() = 0;
    virtual pid_t pid() const = 0;
    // How the program ended, as a shell reports it: its exit code, or 128 plus
    // the signal that killed it. Nothing while it runs, or when it was reaped
    // elsewhere and its status is lost.
    virtual std::optional<int> exitStatus() const = 0;
};

// The shell's statuses for a program that did not run.
inline constexpr int kCannotExecuteStatus = 126;  // found, but not executable
inline constexpr int kNotStartedStatus = 127;     // not found, or could not be started

// The status for a program the system refused to start with this error:
// kCannotExecuteStatus for one found that may not run, else kNotStartedStatus.
int startFailureStatus(int error);

class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts the program arguments[0] with exactly these arguments, never
    // through a shell, in directory (the current one when empty). A name
    // without '/' is looked up in PATH. A failure is the system's reason and
    // error number.
    virtual Result<std::unique_ptr<Process>> start(const std::vector<std::string>& arguments,
                                                   const std::string& directory) = 0;
};

ProcessStarter& processStarter();

// Splits a command at blanks, double quotes grouping; an unquoted path with
// blanks is resolved to the shortest leading run of words naming an
// executable file; a program name without '/' is looked up in PATH.
std::vector<std::string> splitCommand(const std::string& command);
// The same resolution for arguments that arrived as a list (the program's own
// command line): an unquoted path with blanks arrives as several arguments,
// and the shortest leading run of them naming an executable file is joined
// back into one, with one blank between the words.
std::vector<std::string> joinProgramWords(const std::vector<std::string>& arguments);
// Everything up to and including the last '/'; empty when there is none.
std::string directoryPart(const std::string& command);

}  // namespace platform
