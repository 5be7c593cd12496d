// SPDX-License-Identifier: GPL-3.0-or-later
#include "lentora_process.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "cpu_time.h"
#include "sandbox.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Programs Lentora launched outlive it by design; as their subreaper the test
// can see them once Lentora is gone and reap them itself.
void becomeSubreaper() {
    static std::once_flag once;
    std::call_once(once, [] { prctl(PR_SET_CHILD_SUBREAPER, 1); });
}

std::vector<std::string> environmentFor(const Sandbox& sandbox, const RunOptions& options) {
    std::vector<std::string> env = {
        "PATH=/usr/local/bin:/usr/bin:/bin",
        "HOME=" + sandbox.home.string(),
        "XDG_CONFIG_HOME=" + sandbox.configHome.string(),
        "XDG_RUNTIME_DIR=" + sandbox.runtimeDir.string(),
        "LENTORA_CHILD_RECORD=" + sandbox.record.string(),
        "LENTORA_CHILD_SLEEP_MS=" + std::to_string(options.childSleepMs),
    };
    if (options.display.empty())
        env.push_back("QT_QPA_PLATFORM=offscreen");
    else
        env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + options.display});
    // A sanitizer build keeps its settings and ignores the leaks of system libraries.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    const char* lsan = std::getenv("LSAN_OPTIONS");
    env.push_back(std::string("LSAN_OPTIONS=") + (lsan ? std::string(lsan) + ":" : "") +
                  "suppressions=" LENTORA_SOURCE_DIR "/tests/e2e/lsan_display.supp");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

std::vector<pid_t> threadsOf(pid_t pid) {
    std::vector<pid_t> tids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        tids.push_back(std::stoi(entry.path().filename().string()));
    return tids;
}

// Field `index` (1-based, as proc(5) counts) of a /proc stat line.
std::optional<std::string> statField(const std::string& statPath, int index) {
    std::ifstream in(statPath);
    std::string line;
    if (!std::getline(in, line) || line.rfind(')') == std::string::npos) return std::nullopt;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; rest >> field; ++i)
        if (i == index) return field;
    return std::nullopt;
}

// The children of every thread of a process, with their state letter.
std::map<pid_t, char> childrenOf(pid_t pid) {
    std::map<pid_t, char> result;
    for (pid_t tid : threadsOf(pid)) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/children");
        for (pid_t child; in >> child;) {
            const auto state = statField("/proc/" + std::to_string(child) + "/stat", 3);
            result[child] = state ? state->front() : '?';
        }
    }
    return result;
}

}  // namespace

LentoraProcess::LentoraProcess(const Sandbox& sandbox, const RunOptions& options) {
    becomeSubreaper();
    std::vector<std::string> argv = options.wrapper;
    argv.push_back(options.binary.empty() ? lentoraBinaryPath() : options.binary);
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env = environmentFor(sandbox, options);
    auto argp = pointers(argv);
    auto envp = pointers(env);
    const std::string work = sandbox.work.string();
    const bool ownSession = options.ownSession;
    const int errorFd = options.stderrFile.empty()
                            ? -1
                            : ::open(options.stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (chdir(work.c_str()) != 0) _exit(126);
        if (ownSession) setsid();
        if (errorFd >= 0) dup2(errorFd, STDERR_FILENO);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (errorFd >= 0) ::close(errorFd);
}

LentoraProcess::~LentoraProcess() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(10));
    }
}

std::optional<int> LentoraProcess::waitForExit(std::chrono::milliseconds limit) {
    if (reaped_) return status_;
    std::optional<int> result;
    waitFor(
        [&] {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
            result = status;
            return true;
        },
        limit, 20ms);
    if (result) {
        reaped_ = true;
        status_ = *result;
    }
    return result;
}

bool LentoraProcess::running() {
    if (reaped_) return false;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

void LentoraProcess::signal(int number) const { kill(pid_, number); }

std::map<pid_t, long> LentoraProcess::workerCpu() const {
    std::map<pid_t, long> cpu;
    for (pid_t tid : threadsOf(pid_)) {
        if (tid == pid_) continue;
        const long ms = threadCpuMs(pid_, tid);
        if (ms >= 0) cpu[tid] = ms;
    }
    return cpu;
}

std::optional<bool> LentoraProcess::threadRaised(pid_t tid) const {
    const std::string stat = "/proc/" + std::to_string(pid_) + "/task/" + std::to_string(tid) + "/stat";
    const auto nice = statField(stat, 19);
    const auto policy = statField(stat, 41);
    if (!nice || !policy) return std::nullopt;
    const int p = std::stoi(*policy);
    return std::stoi(*nice) < 0 || p == SCHED_FIFO || p == SCHED_RR;
}

std::optional<long> processStatField(pid_t pid, int index) {
    const auto field = statField("/proc/" + std::to_string(pid) + "/stat", index);
    if (!field) return std::nullopt;
    return std::stol(*field);
}

std::optional<int> autogroupNice(const std::string& pid) {
    std::ifstream file("/proc/" + pid + "/autogroup");
    std::string name, word;
    int nice = 0;
    if (!(file >> name >> word >> nice) || word != "nice") return std::nullopt;
    return nice;
}

std::map<pid_t, char> LentoraProcess::children() const { return childrenOf(pid_); }

long totalCpu(const std::map<pid_t, long>& cpu) {
    long total = 0;
    for (const auto& [tid, ms] : cpu) total += ms;
    return total;
}

std::map<pid_t, long> cpuSince(const std::map<pid_t, long>& earlier, const std::map<pid_t, long>& later) {
    std::map<pid_t, long> used;
    for (const auto& [tid, ms] : later) {
        const auto before = earlier.find(tid);
        used[tid] = ms - (before == earlier.end() ? 0 : before->second);
    }
    return used;
}

std::map<pid_t, char> ownChildren() { return childrenOf(getpid()); }

void killAndReap(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

void reapAdopted(const std::map<pid_t, char>& processes) {
    const auto adopted = ownChildren();
    for (const auto& [pid, state] : processes)
        if (adopted.count(pid)) killAndReap(pid);
}

int allowedProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return CPU_COUNT(&set);
}
