// SPDX-License-Identifier: GPL-3.0-or-later
// Starting programs with posix_spawn (never through a shell) and watching
// them with waitpid on their own pid only, so children started elsewhere in
// the program are left alone.
#include <platform/process.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "command_split.h"
#include "launch_priority.h"

namespace platform {

namespace {

// Waits for programs whose handle was closed while they ran, so none of them
// is left a zombie. One thread, started on first need, polls the pids it holds.
class Reaper {
public:
    void adopt(pid_t pid) {
        std::lock_guard lock(mutex_);
        pids_.push_back(pid);
        if (!started_) startThread();
        wake_.notify_one();
    }

private:
    void startThread() {
        try {
            std::thread([this] { run(); }).detach();
            started_ = true;
        } catch (const std::system_error&) {
            // No thread now: the next adoption tries again; the pid stays queued.
        }
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !pids_.empty(); });
            std::erase_if(pids_, [](pid_t pid) { return reaped(pid); });
            if (!pids_.empty()) wake_.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    static bool reaped(pid_t pid) {
        pid_t r;
        do r = waitpid(pid, nullptr, WNOHANG);
        while (r < 0 && errno == EINTR);
        return r != 0;  // ended, or not ours to wait for any more
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<pid_t> pids_;
    bool started_ = false;
};

Reaper& reaper() {
    // Never destroyed: its detached thread may outlive static destruction.
    static Reaper* instance = new Reaper;
    return *instance;
}

class ChildProcess final : public Process {
public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}

    ~ChildProcess() override {
        if (!poll()) reaper().adopt(pid_);
    }

    bool running() override {
        if (poll()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !poll();
    }

    void waitForEnd() override {
        while (!ended_) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, 0);
            if (r == pid_) keepStatus(status);
            if (r == pid_ || (r < 0 && errno != EINTR)) ended_ = true;
        }
    }

    pid_t pid() const override { return pid_; }
    std::optional<int> exitStatus() const override { return exitStatus_; }

private:
    // True once the program has ended (and has been reaped).
    bool poll() {
        if (ended_) return true;
        int status = 0;
        pid_t r;
        do r = waitpid(pid_, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == pid_) keepStatus(status);
        // ECHILD: someone reaped it already (SIGCHLD ignored); it has ended.
        ended_ = r != 0;
        return ended_;
    }

    void keepStatus(int status) {
        if (WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) exitStatus_ = 128 + WTERMSIG(status);
    }

    pid_t pid_;
    bool ended_ = false;
    std::optional<int> exitStatus_;
};

// The child gets default signal handling and an empty signal mask (the
// program blocks real-time signals it uses to suspend its threads), the
// working directory and no descriptors beyond 0, 1 and 2.
// Gives posix_spawn's result: 0, or the error number of what failed.
int spawn(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
          const LaunchStanding& standing, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // glibc reports a failed chdir or exec here rather than as a child exiting 127.
    const int rc = launching::spawnAtLaunchPriority(
        attr, standing, [&] { return posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ); });
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

}  // namespace

// A program that was found but may not run gets 126, as in a shell; one
// missing, or one the system had no room to start, 127.
int startFailureStatus(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case EISDIR:
    case ETXTBSY:
    case ELIBBAD:
        return kCannotExecuteStatus;
    default:
        return kNotStartedStatus;
    }
}

namespace {

class SpawnStarter final : public ProcessStarter {
public:
    Result<std::unique_ptr<Process>> start(const std::vector<std::string>& arguments,
                                           const std::string& directory) override {
        if (arguments.empty()) return systemFailure(ENOENT);
        const std::string program = findProgram(arguments[0]);
        if (program.empty()) return systemFailure(programError(arguments[0]));
        // Absolute, because the child changes its directory before the exec.
        std::error_code ec;
        const std::filesystem::path path = std::filesystem::absolute(program, ec);
        if (ec) return systemFailure(ec.value());
        pid_t pid = -1;
        if (const int error = spawn(path.string(), arguments, directory, standing(), pid)) return systemFailure(error);
        return std::unique_ptr<Process>(std::make_unique<ChildProcess>(pid));
    }

    void setStanding(const LaunchStanding& standing) {
        std::lock_guard lock(mutex_);
        standing_ = standing;
    }

private:
    LaunchStanding standing() {
        std::lock_guard lock(mutex_);
        return standing_;
    }

    std::mutex mutex_;  // the engine sets it on the window's thread, watchers launch
    LaunchStanding standing_;
};

SpawnStarter& spawnStarter() {
    static SpawnStarter starter;
    return starter;
}

}  // namespace

ProcessStarter& processStarter() { return spawnStarter(); }

void launching::setStarterStanding(const LaunchStanding& standing) { spawnStarter().setStanding(standing); }

}  // namespace platform
