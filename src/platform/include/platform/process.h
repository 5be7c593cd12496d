#pragma once
// Starting programs without a shell and watching them.
#include <memory>
#include <string>
#include <vector>
#include <sys/types.h>

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
};

class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts command (split into arguments, never through a shell) in
    // directory (the current one when empty). nullptr when it cannot start.
    virtual std::unique_ptr<Process> start(const std::string& command, const std::string& directory) = 0;
};

ProcessStarter& processStarter();

// Splits a command at blanks, double quotes grouping; an unquoted path with
// blanks is resolved to the shortest leading run of words naming an
// executable file; a program name without '/' is looked up in PATH.
std::vector<std::string> splitCommand(const std::string& command);
// Everything up to and including the last '/'; empty when there is none.
std::string directoryPart(const std::string& command);

}  // namespace platform
