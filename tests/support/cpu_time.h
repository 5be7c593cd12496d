// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Processor time used by one thread of a process, from /proc.
#include <sys/types.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>

// utime + stime of /proc/<pid>/task/<tid>/stat in milliseconds; -1 when unreadable.
inline long threadCpuMs(pid_t pid, pid_t tid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return -1;
    // The command name may hold blanks: fields start after the last ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

inline long threadCpuMs(pid_t tid) { return threadCpuMs(getpid(), tid); }
