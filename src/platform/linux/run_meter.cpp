// SPDX-License-Identifier: GPL-3.0-or-later
// The run meter from /proc: per thread, schedstat's run time and run-queue
// wait (live on every kernel with CONFIG_SCHED_INFO; a thread reading its own
// sees its current slice missing, others' lag by at most a tick), else
// utime+stime from stat. The children files are rarely built in, so the
// program's descendants come from a scan of the processes' parents, every
// fifth reading. Only processes numbered above the program are read: its
// descendants were started after it, and the kernel numbers upwards (it
// wraps only past pid_max, 4 million on 64-bit systems). Reading every
// process instead cost 0.4 % of a processor on a busy machine's 160.
#include <dirent.h>
#include <time.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/run_meter.h"
#include "proc_stat.h"

namespace platform {
namespace {

constexpr int kRescanEvery = 5;

using proc::readSmall;
using proc::statFields;

std::vector<pid_t> numberedEntries(const std::string& dir) {
    std::vector<pid_t> ids;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return ids;
    while (const dirent* e = ::readdir(d)) {
        char* end = nullptr;
        const long id = std::strtol(e->d_name, &end, 10);
        if (id > 0 && *end == '\0') ids.push_back(static_cast<pid_t>(id));
    }
    ::closedir(d);
    return ids;
}

class ProcRunMeter final : public RunMeter {
public:
    std::optional<ProgramRun> program(pid_t pid) override {
        if (pid <= 0) return std::nullopt;
        if (pid != root_ || readings_++ % kRescanEvery == 0) rescan(pid);
        ProgramRun run;
        run.waitKnown = schedstat_;
        bool rootSeen = false;
        for (pid_t process : tree_) {
            const size_t before = run.threads.size();
            addThreads(process, run);
            if (process == pid) rootSeen = run.threads.size() > before;
        }
        if (!rootSeen) return std::nullopt;
        return run;
    }

    int64_t ownThreadCpuNs(pid_t tid) override {
        // The kernel's clock of one thread of this process, without /proc.
        const clockid_t id = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
        timespec ts{};
        if (tid <= 0 || clock_gettime(id, &ts) != 0) return -1;
        return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }

    int64_t ownProcessCpuNs() override { return read(CLOCK_PROCESS_CPUTIME_ID); }

    // cpuidle's residency per state, in microseconds: /proc/stat keeps idle
    // time only in ticks. A machine without a cpuidle driver gives none.
    std::vector<int64_t> processorIdleNs() override {
        if (!idleSearched_) findIdleFiles();
        std::vector<int64_t> idle;
        char buf[64];
        for (const std::vector<std::string>& states : idleFiles_) {
            int64_t us = 0;
            for (const std::string& file : states)
                if (readSmall(file, buf, sizeof buf)) us += std::strtoll(buf, nullptr, 10);
            idle.push_back(us * 1000);
        }
        return idle;
    }
    int64_t monotonicNs() override { return read(CLOCK_MONOTONIC); }

private:
    static int64_t read(clockid_t id) {
        timespec ts{};
        clock_gettime(id, &ts);
        return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }

    void findIdleFiles() {
        idleSearched_ = true;
        for (int cpu = 0;; ++cpu) {
            const std::string dir = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpuidle/state";
            std::vector<std::string> states;
            for (int state = 0; ::access((dir + std::to_string(state) + "/time").c_str(), R_OK) == 0; ++state)
                states.push_back(dir + std::to_string(state) + "/time");
            if (states.empty()) break;
            idleFiles_.push_back(std::move(states));
        }
    }

    // The program and its descendants, from every process's parent.
    void rescan(pid_t pid) {
        root_ = pid;
        std::multimap<pid_t, pid_t> children;
        char buf[1024];
        for (pid_t p : numberedEntries("/proc")) {
            if (p <= pid) continue;
            long long ppid = 0;
            if (readSmall("/proc/" + std::to_string(p) + "/stat", buf, sizeof buf) && statFields(buf, 4, 1, &ppid))
                children.emplace(static_cast<pid_t>(ppid), p);
        }
        tree_ = {pid};
        for (size_t i = 0; i < tree_.size(); ++i) {
            auto [from, to] = children.equal_range(tree_[i]);
            for (auto it = from; it != to; ++it) tree_.push_back(it->second);
        }
    }

    void addThreads(pid_t process, ProgramRun& run) {
        const std::string tasks = "/proc/" + std::to_string(process) + "/task/";
        char buf[1024];
        for (pid_t tid : numberedEntries(tasks)) {
            const std::string base = tasks + std::to_string(tid);
            ThreadRun t{.tid = tid};
            long long v[2] = {0, 0};
            if (schedstat_ && readSmall(base + "/schedstat", buf, sizeof buf) &&
                std::sscanf(buf, "%lld %lld", &v[0], &v[1]) == 2) {
                t.runNs = v[0];
                t.waitNs = v[1];
            } else if (readSmall(base + "/stat", buf, sizeof buf) && statFields(buf, 14, 2, v)) {
                schedstat_ = schedstat_ && ::access((base + "/schedstat").c_str(), R_OK) == 0;
                run.waitKnown = schedstat_;
                t.runNs = (v[0] + v[1]) * (1'000'000'000 / ::sysconf(_SC_CLK_TCK));
            } else {
                continue;  // the thread ended meanwhile
            }
            run.threads.push_back(t);
        }
    }

    pid_t root_ = 0;
    int readings_ = 0;
    std::vector<pid_t> tree_;
    bool schedstat_ = true;
    bool idleSearched_ = false;
    std::vector<std::vector<std::string>> idleFiles_;  // per processor, its states' time files
};

}  // namespace

RunMeter& runMeter() {
    static ProcRunMeter meter;
    return meter;
}

}  // namespace platform
