// SPDX-License-Identifier: GPL-3.0-or-later
#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "group_record.h"
#include "launch_priority.h"
#include "other_sessions.h"
#include "platform/group_standing.h"
#include "platform/run_meter.h"
#include "platform/thread.h"
#include "priority.h"
#include "session_group.h"

namespace platform {
namespace {

// "6.1.0-18-amd64" -> 6; anything without a leading number -> 0.
int leadingNumber(const char* text) {
    if (!std::isdigit(static_cast<unsigned char>(text[0]))) return 0;
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

// Linux keeps a nice value per thread, so the whole process means every
// thread it has. Threads that ended meanwhile don't count.
bool setEveryThreadNice(int nice) {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return priority::setThreadNice(0, nice);
    bool allSet = true;
    while (const dirent* entry = readdir(tasks)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (tid > 0 && !priority::setThreadNice(tid, nice)) allSet = false;
    }
    closedir(tasks);
    return allSet;
}

class LinuxSystemControl final : public SystemControl {
public:
    // A Lentora that was killed left the groups it changed as they were;
    // the next start puts them back.
    LinuxSystemControl() { groups::repairLeftovers(); }

    int majorVersion() override {
        utsname names{};
        if (uname(&names) != 0) return 0;
        return leadingNumber(names.release);
    }

    void useClassNice(const ClassNice& levels) override {
        std::lock_guard lock(classMutex_);
        classNice_ = levels;
    }

    bool setProcessPriorityClass(PriorityClass cls) override {
        const std::optional<int> nice = niceOf(cls);
        if (!nice) return false;
        const bool set = setEveryThreadNice(*nice);
        // Normal threads follow the level reached, which may be less than
        // asked when the user's rights did not allow more.
        errno = 0;
        const int reached = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
        if (errno == 0) priority::setProcessNice(reached);
        return set;
    }

    bool setCurrentThreadPriority(ThreadPriority level) override {
        return priority::setThreadNice(0, priority::niceFor(level));
    }

    std::vector<RightsStep*> rightsSteps(const RealtimeRunTime& runTime) override {
        std::lock_guard lock(stepsMutex_);
        if (steps_.empty()) steps_ = defaultRightsSteps(runTime);
        std::vector<RightsStep*> steps;
        for (const auto& step : steps_) steps.push_back(step.get());
        return steps;
    }

    void useRealtimeStep(RightsStep* step) override { realtimeStep_.store(step); }

    bool setCurrentThreadRealtime(int priority) override {
        return priority::setThreadRealtime(0, priority, realtimeStep_.load());
    }

    void putGroupsBackOn(std::span<const int> waysOut) override { session::setWaysOut(waysOut); }

    bool raiseSession(bool raise, PriorityClass cls) override {
        if (!raise) {
            session::restore();
            return false;
        }
        const std::optional<int> nice = niceOf(cls);
        return nice && session::raise(*nice);
    }

    bool sessionsGrouped() override { return session::grouped(); }

    bool lowerOtherSessions(std::optional<SessionsLowering> ask) override {
        if (ask) return sessions::lowerOthers(ask->nice, ask->takes);
        sessions::restoreOthers();
        return false;
    }

    bool otherSessionsSettled() override {
        const sessions::Progress progress = sessions::progress();
        return progress.settled && progress.waiting == 0;
    }

    void setLaunchStanding(const LaunchStanding& standing) override { launching::setStarterStanding(standing); }

    GroupStanding* groupStanding() override { return &platform::groupStanding(); }
    RunMeter* runMeter() override { return &platform::runMeter(); }

    std::vector<int> allowedProcessors() override {
        cpu_set_t set;
        CPU_ZERO(&set);
        std::vector<int> cpus;
        if (sched_getaffinity(getpid(), sizeof set, &set) != 0) return cpus;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
        return cpus;
    }

private:
    std::optional<int> niceOf(PriorityClass cls) {
        std::lock_guard lock(classMutex_);
        return classNice_ ? std::optional(classNice_->of(cls)) : std::nullopt;
    }

    std::mutex classMutex_;
    std::optional<ClassNice> classNice_;  // as the engine handed it in
    std::mutex stepsMutex_;
    // Never destroyed before the process ends (the system control lives as
    // long): threads may be made real-time through one at any time.
    std::vector<std::unique_ptr<RightsStep>> steps_;
    std::atomic<RightsStep*> realtimeStep_{nullptr};  // for the calling thread, as the engine chose
};

}  // namespace

SystemControl& systemControl() {
    static LinuxSystemControl control;
    return control;
}

}  // namespace platform
