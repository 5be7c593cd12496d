// SPDX-License-Identifier: GPL-3.0-or-later
// Records its arguments and working directory, then sleeps or exits as told.
// LENTORA_CHILD_RECORD: file to write (one line per argument, then "cwd=<dir>").
// LENTORA_CHILD_SLEEP_MS: how long to stay alive (default 0).
// LENTORA_CHILD_PID_FILE: file to add the child's process id to.
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
    if (const char* record = std::getenv("LENTORA_CHILD_RECORD")) {
        std::ofstream out(record, std::ios::app);
        for (int i = 1; i < argc; ++i) out << "arg=" << argv[i] << '\n';
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) out << "cwd=" << cwd << '\n';
        out << "end\n";
    }
    if (const char* pids = std::getenv("LENTORA_CHILD_PID_FILE"))
        std::ofstream(pids, std::ios::app) << getpid() << '\n';
    if (const char* ms = std::getenv("LENTORA_CHILD_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(ms)));
    return 0;
}
