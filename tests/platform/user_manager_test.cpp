// SPDX-License-Identifier: GPL-3.0-or-later
// Lentora's scope with the user's service manager, against a stand-in on a
// private session bus that checks every call the way systemd does
// (support/user_manager_standin.py), and what a missing or silent manager costs.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "file_text.h"
#include "platform/group_standing.h"
#include "shell_output.h"
#include "temp_dir.h"
#include "wait_for.h"

namespace {

namespace fs = std::filesystem;

// Ends when its input closes (pclose), which the stand-in waits for. Also runs the bus
// that answers its first client's handshake, then keeps silent (support/silent_bus.py).
const char* const kSilentBus = "/usr/bin/python3 " LENTORA_SOURCE_DIR "/tests/support/silent_bus.py ";
struct StandIn {
    TempDir dir{"manager"};
    FILE* input = nullptr;
    std::string address;
    explicit StandIn(const std::string& mode = "",
                     const std::string& run = "dbus-run-session -- /usr/bin/python3 " LENTORA_SOURCE_DIR
                                              "/tests/support/user_manager_standin.py ") {
        input = popen(("exec " + run + dir.path().string() + mode).c_str(), "w");
        waitFor([&] { return !(address = slurp(dir / "address")).empty(); }, std::chrono::seconds(20),
                std::chrono::milliseconds(20));
    }
    ~StandIn() {
        if (input) pclose(input);
    }
};

bool standInCanRun() {
    return std::system("command -v dbus-run-session >/dev/null && /usr/bin/python3 -c 'import dbus, gi' 2>&-") == 0;
}

}  // namespace

// The stand-in's scopes never end, as when a launched program still holds
// one: a Lentora killed while raised leaves its weight up until the next
// start, which puts it back and leaves a live Lentora's alone.
TEST(UserManagerScope, WeighsMoreOnlyWhileRaisedAndAKilledOnesIsPutBackAtTheNextStart) {
    if (!standInCanRun()) GTEST_SKIP() << "dbus-run-session, python3-dbus or python3-gi is missing";
    StandIn manager;
    const std::string lentora =
        "L='" LENTORA_GROUP_CHILD_PATH " " + manager.address + "'; cd " + manager.dir.path().string();
    int pid = 0;
    std::sscanf(shellOutput(lentora + "; $L prepare raise lower").c_str(), "pid=%d", &pid);
    const std::string scope = "lentora-" + std::to_string(pid) + ".scope";
    EXPECT_EQ(slurp(manager.dir / "calls"),
              "ListUnitsByPatterns lentora-*.scope\nStartTransientUnit " + scope +
                  " fail CollectMode=inactive-or-failed Description=Lentora PIDs=" + std::to_string(pid) +
                  "\nSetUnitProperties " + scope + " CPUWeight=10000\nSetUnitProperties " + scope + " CPUWeight=100\n");
    std::istringstream killedAndLive(shellOutput(
        lentora + "; held() { $L prepare raise hold >$1 & until grep -q holding $1; do sleep 0.02; done; }; " +
        "held killed; k=$!; held live; l=$!; kill -9 $k; wait $k; cp units before; $L prepare >&-; kill $l; echo $k "
        "$l"));
    std::string killed, live;
    killedAndLive >> killed >> live;
    EXPECT_NE(slurp(manager.dir / "before").find("lentora-" + killed + ".scope 10000\n"), std::string::npos);
    const std::string units = slurp(manager.dir / "units");
    EXPECT_NE(units.find(scope + " 100\n"), std::string::npos) << units;
    EXPECT_NE(units.find("lentora-" + killed + ".scope 100\n"), std::string::npos) << units;
    EXPECT_NE(units.find("lentora-" + live + ".scope 10000\n"), std::string::npos) << units;
}

// A bus nobody serves (a socket that never answers), a missing one and a
// manager that never replies all read as "no weight", each promptly: every
// call gives up after kUserManagerTimeout, and the bound leaves a busy
// machine room while still failing a wait for D-Bus's own 25 s.
TEST(UserManagerScope, MissingMuteOrSilentManagerIsRefusedPromptly) {
    const TempDir muteDir("mute");
    const fs::path mutePath = muteDir / "bus";
    const int mute = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un at{.sun_family = AF_UNIX, .sun_path = {}};
    mutePath.string().copy(at.sun_path, sizeof at.sun_path - 1);
    ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(mute, 4), 0);
    std::unique_ptr<StandIn> silent = standInCanRun() ? std::make_unique<StandIn>(" --silent") : nullptr;
    for (const std::string& address : {std::string("unix:path=/nonexistent/bus"), "unix:path=" + mutePath.string(),
                                       silent ? silent->address : std::string()}) {
        const auto start = std::chrono::steady_clock::now();
        const auto standing = platform::groupStandingAt(address, true);
        standing->prepare();
        standing->raise(10000);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << address;
        EXPECT_FALSE(standing->facts().weightRaised) << address;
        EXPECT_NE(standing->facts().weightRefusal, "") << address;
    }
    close(mute);
}

// Faults: a bus that answered the handshake and then kept silent held start-up for good. The
// real-time service's client waited for its connection without a limit; the service manager's
// gave up, but its abandoned connection held the one thread every later connection needed, so
// the next client and the exit hung. Each gives up within its limit now, and the process ends.
TEST(SilentBus, EachClientGivesUpInTimeAndTheProcessEnds) {
    StandIn manager("", kSilentBus), kit("", kSilentBus);
    const auto start = std::chrono::steady_clock::now();
    const std::string out = shellOutput("timeout -s KILL 20 " LENTORA_GROUP_CHILD_PATH " " + manager.address +
                                        " prepare kit=" + kit.address + "; echo $?");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(out.find("kit limits=none\n"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\n0\n")) << out;
}

// Fault: a service manager that answered ListUnitsByPatterns in another shape than
// a(ssssssouso) ended Lentora (SIGABRT in the D-Bus library). It is refused with a note.
TEST(UserManagerScope, ReplyOfAnotherShapeIsRefusedWithANote) {
    if (!standInCanRun()) GTEST_SKIP() << "dbus-run-session, python3-dbus or python3-gi is missing";
    StandIn manager;
    for (const std::string shape : {"a(ss)", "a{ss}", "a(a(s))", "s", "none"}) {
        std::ofstream(manager.dir / "shape") << shape;
        const std::string out = shellOutput(LENTORA_GROUP_CHILD_PATH " " + manager.address + " prepare; echo $?");
        EXPECT_NE(out.find("refusal=the reply to ListUnitsByPatterns has the signature"), std::string::npos)
            << shape << ": " << out;
        EXPECT_TRUE(out.ends_with("\n0\n")) << shape << ": " << out;
    }
}
