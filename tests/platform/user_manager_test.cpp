// Lentora's scope with the user's service manager, against a stand-in on a
// private session bus that checks every call the way systemd does
// (support/user_manager_standin.py): the scope and its weight raised and put
// back, what a killed Lentora left put back at the next start, and what a
// missing or silent manager costs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "file_text.h"
#include "platform/group_standing.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::steady_clock;

bool standInCanRun() {
    return std::system(
               "command -v dbus-run-session >/dev/null && /usr/bin/python3 -c "
               "'import dbus, gi.repository.GLib' 2>/dev/null") == 0;
}

// The stand-in under dbus-run-session; it ends when its input closes.
struct StandIn {
    fs::path dir;
    std::string address;
    pid_t pid = -1;
    int input = -1;
    explicit StandIn(bool silent = false) {
        char pattern[] = "/tmp/lentora-manager.XXXXXX";
        dir = mkdtemp(pattern);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        const std::string script = std::string(LENTORA_SOURCE_DIR) + "/tests/support/user_manager_standin.py";
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(fds[0], 0);
            execlp("dbus-run-session", "dbus-run-session", "--", "/usr/bin/python3", script.c_str(), dir.c_str(),
                   silent ? "--silent" : nullptr, nullptr);
            _exit(127);
        }
        close(fds[0]);
        input = fds[1];
        for (const auto end = steady_clock::now() + std::chrono::seconds(20);
             address.empty() && steady_clock::now() < end;)
            if (!(address = slurp(dir / "address")).empty())
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~StandIn() {
        close(input);
        if (pid > 0) waitpid(pid, nullptr, 0);
        fs::remove_all(dir);
    }
    std::string calls() const { return slurp(dir / "calls"); }
    std::string units() const { return slurp(dir / "units"); }
};

// Lentora's standing in a process of its own; its output once it ended or said "holding".
struct Standing {
    pid_t pid = -1;
    int output = -1;
    explicit Standing(std::vector<std::string> words) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            std::vector<char*> argv{const_cast<char*>(LENTORA_GROUP_CHILD_PATH)};
            for (auto& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        output = fds[0];
    }
    std::string line() {
        std::string text;
        char c;
        while (read(output, &c, 1) == 1 && c != '\n') text += c;
        return text;
    }
    void kill() { ::kill(pid, SIGKILL); }
    ~Standing() {
        close(output);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
    std::string scope() const { return "lentora-" + std::to_string(pid) + ".scope"; }
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(UserManagerScope, ScopeOfItsOwnWeighsMoreOnlyWhileRaised) {
    if (!standInCanRun()) GTEST_SKIP() << "dbus-run-session or python3-dbus/python3-gi is missing";
    StandIn manager;
    ASSERT_FALSE(manager.address.empty());
    Standing lentora({manager.address, "prepare", "raise", "lower"});
    EXPECT_EQ(lentora.line(), "obtained=1 raised=0 refusal=");
    const std::string pid = std::to_string(lentora.pid);
    const std::string calls = manager.calls();
    EXPECT_TRUE(has(calls, "StartTransientUnit " + lentora.scope() +
                               " fail CollectMode=inactive-or-failed Description=Lentora PIDs=" + pid + "\n" +
                               "SetUnitProperties " + lentora.scope() + " CPUWeight=10000\n" + "SetUnitProperties " +
                               lentora.scope() + " CPUWeight=100\n"))
        << calls;
    EXPECT_FALSE(has(calls, "refused")) << calls;
    EXPECT_EQ(manager.units(), lentora.scope() + " 100\n");
}

// The stand-in's scopes never end, as when a launched program still holds
// one: a Lentora killed while raised leaves its weight up until the next start.
TEST(UserManagerScope, KilledLentorasWeightIsPutBackAtTheNextStartAndALiveOnesIsLeft) {
    if (!standInCanRun()) GTEST_SKIP() << "dbus-run-session or python3-dbus/python3-gi is missing";
    StandIn manager;
    ASSERT_FALSE(manager.address.empty());
    Standing killed({manager.address, "prepare", "raise", "hold"});
    ASSERT_EQ(killed.line(), "holding");
    Standing other({manager.address, "prepare", "raise", "hold"});
    ASSERT_EQ(other.line(), "holding");
    const std::string killedScope = killed.scope();
    EXPECT_TRUE(has(manager.units(), killedScope + " 10000\n")) << manager.units();
    killed.kill();
    waitpid(killed.pid, nullptr, 0);
    killed.pid = -1;
    Standing next({manager.address, "prepare"});
    EXPECT_EQ(next.line(), "obtained=1 raised=0 refusal=");
    const std::string units = manager.units();
    EXPECT_TRUE(has(units, killedScope + " 100\n")) << units;
    EXPECT_TRUE(has(units, other.scope() + " 10000\n")) << units;
    EXPECT_TRUE(has(units, next.scope() + " None\n")) << units;
    other.kill();
}

// A session bus that never answers (a socket nobody serves), a missing one
// and a manager that never replies all read as "no weight", each within a second.
TEST(UserManagerScope, MissingOrSilentManagerIsRefusedWithinASecond) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    char pattern[] = "/tmp/lentora-mute.XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    const int mute = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    const std::string path = (dir / "bus").string();
    path.copy(at.sun_path, sizeof at.sun_path - 1);
    ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(mute, 4), 0);
    std::vector<std::string> addresses{"unix:path=/nonexistent/bus", "unix:path=" + path};
    std::unique_ptr<StandIn> silent;
    if (standInCanRun()) {
        silent = std::make_unique<StandIn>(true);
        addresses.push_back(silent->address);
    }
    for (const std::string& address : addresses) {
        const auto start = steady_clock::now();
        const auto standing = platform::groupStandingAt(address, true);
        standing->prepare();
        standing->raise();
        const platform::GroupFacts facts = standing->facts();
        EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1)) << address;
        EXPECT_FALSE(facts.weightObtained) << address;
        EXPECT_FALSE(facts.weightRaised) << address;
        EXPECT_FALSE(facts.weightRefusal.empty()) << address;
    }
    close(mute);  // the abandoned connection fails at once and ends its thread
    fs::remove_all(dir);
}
