// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real lentora binary, started as a separate process the way a user or a
// shortcut starts it, and observed only from outside: its exit status, its
// threads and their processor time in /proc, its child processes.
#include <sys/types.h>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "wait_for.h"

class Sandbox;

struct RunOptions {
    std::vector<std::string> args = {};
    std::string display = {};               // an X display; empty: the offscreen platform
    long childSleepMs = 0;                  // how long the test child stays
    std::string binary = {};                // empty: the built lentora
    std::vector<std::string> wrapper = {};  // e.g. setpriv ... --, put before the binary
    // A session of its own, as a desktop start has: a session group that an
    // earlier, killed run left raised cannot leak into the next test.
    bool ownSession = true;
    std::string stderrFile = {};  // where standard error goes; empty: the test's own
};

class LentoraProcess {
public:
    LentoraProcess(const Sandbox& sandbox, const RunOptions& options);
    ~LentoraProcess();  // kills and reaps a process the test left running
    LentoraProcess(const LentoraProcess&) = delete;
    LentoraProcess& operator=(const LentoraProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The wait status once the process ended within the limit.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    bool running();
    void signal(int number) const;

    // Processor time in ms of each thread but the main one, by thread id.
    std::map<pid_t, long> workerCpu() const;
    // Whether a thread (the main thread's id is pid()) runs above ordinary
    // programs: a negative nice value or a real-time policy.
    std::optional<bool> threadRaised(pid_t tid) const;
    // Process ids of the process's children, with their state letter.
    std::map<pid_t, char> children() const;

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;  // the wait status once reaped
};

// Field `index` (1-based, as proc(5) counts) of /proc/<pid>/stat.
std::optional<long> processStatField(pid_t pid, int index);
// The nice value of a process's session group (autogroup).
std::optional<int> autogroupNice(const std::string& pid = "self");

// Sum of a per-thread CPU map.
long totalCpu(const std::map<pid_t, long>& cpu);
// CPU used per thread between two readings (threads in `later` only).
std::map<pid_t, long> cpuSince(const std::map<pid_t, long>& earlier, const std::map<pid_t, long>& later);

// Processes whose parent is this test process, with their state letter.
std::map<pid_t, char> ownChildren();
// Reaps an adopted process after killing it (the test is its subreaper).
void killAndReap(pid_t pid);
// The same for each of these processes that this test has adopted.
void reapAdopted(const std::map<pid_t, char>& processes);
int allowedProcessorCount();
