// SPDX-License-Identifier: GPL-3.0-or-later
// Launching from the command line, as a shortcut does: the program starts in
// its own directory with its arguments, the burners work only during the
// run-for window, and Lentora ends by itself with /CLOSE.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>

#include "file_text.h"
#include "lentora_process.h"
#include "sandbox.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::string> argumentsAndDirectory(const Sandbox& sandbox) {
    std::vector<std::string> lines = sandbox.recordedLines();
    if (!lines.empty() && lines.back() == "end") lines.pop_back();
    return lines;
}

// Threads that used at least `ms` of processor time.
int busyThreads(const std::map<pid_t, long>& used, long ms) {
    int busy = 0;
    for (const auto& [tid, cpu] : used) busy += cpu >= ms;
    return busy;
}

struct Ending {
    std::optional<int> status;
    std::map<pid_t, long> lastCpu;  // each thread's last reading before it ended
};

// Threads end one by one while the process exits, so each keeps its last reading.
Ending watchUntilEnd(LentoraProcess& lentora, std::chrono::milliseconds limit) {
    Ending ending;
    waitFor(
        [&] {
            for (const auto& [tid, ms] : lentora.workerCpu()) ending.lastCpu[tid] = ms;
            return !lentora.running();
        },
        limit, 20ms);
    ending.status = lentora.waitForExit(0ms);
    return ending;
}

// The burners' time at two moments that are surely inside /WAIT=1: the last
// reading taken before the program appeared (so before the wait began) and
// the last one finished within `inside` of it. Taken from when the program
// appeared, not from when this test got round to looking, so a busy machine
// that delays the test cannot push a reading past the wait.
struct WaitReadings {
    std::map<pid_t, long> beforeLaunch, inWait;
    std::map<pid_t, char> launched;
};

std::optional<WaitReadings> readAcrossTheWait(LentoraProcess& lentora, std::chrono::milliseconds inside) {
    using Clock = std::chrono::steady_clock;
    WaitReadings readings;
    Clock::time_point before;
    const bool launched = waitFor(
        [&] {
            const auto at = Clock::now();
            const auto cpu = lentora.workerCpu();
            readings.launched = lentora.children();
            if (!readings.launched.empty()) return true;
            readings.beforeLaunch = cpu;
            before = at;
            return false;
        },
        30s, 20ms);
    if (!launched) return std::nullopt;
    readings.inWait = readings.beforeLaunch;
    waitFor(
        [&] {
            const auto cpu = lentora.workerCpu();
            if (Clock::now() >= before + inside) return true;
            readings.inWait = cpu;
            return false;
        },
        inside, 20ms);
    return readings;
}

}  // namespace

TEST(CommandLineLaunch, RunsTheProgramSlowedDownForTheRunForWindowThenEnds) {
    Sandbox sandbox;
    // Quotes, empty parameters and the toolkit's own options are the program's.
    const std::vector<std::string> given = {
        "a",  "b c",       "say \"hi\"",      "",        "a\"b", "-platform", "x", "-display",
        ":0", "-geometry", "300x150+200+300", "-reverse"};
    std::vector<std::string> args = {"/SPEED=50", "/WAIT=1", "/RUNFOR=2", "/CLOSE", sandbox.program.string()};
    args.insert(args.end(), given.begin(), given.end());
    LentoraProcess lentora(sandbox, {.args = args, .childSleepMs = 6000});

    // The first tick ends the wait, a second after it began (a timer may
    // fire up to 5 % early): 900 ms after the launch are inside it.
    const auto wait = readAcrossTheWait(lentora, 900ms);
    ASSERT_TRUE(wait) << "the program was not started";
    const Ending ending = watchUntilEnd(lentora, 30s);
    reapAdopted(wait->launched);  // the program outlives the watch

    ASSERT_TRUE(ending.status) << "Lentora did not end after the watch";
    EXPECT_TRUE(WIFEXITED(*ending.status) && WEXITSTATUS(*ending.status) == 0) << *ending.status;
    EXPECT_LT(totalCpu(cpuSince(wait->beforeLaunch, wait->inWait)), 150) << "the burners worked during the wait";
    const auto inRun = cpuSince(wait->inWait, ending.lastCpu);
    EXPECT_GE(busyThreads(inRun, 150), allowedProcessorCount()) << "not every processor had a working burner";
    EXPECT_TRUE(waitFor([&] { return sandbox.childStarted(); }, 30s, 20ms)) << "the program did not record its start";
    // A parameter that was quoted keeps its blank: "b c" arrives as one.
    std::vector<std::string> expected;
    for (const std::string& arg : given) expected.push_back("arg=" + arg);
    expected.push_back("cwd=" + sandbox.programDir.string());
    EXPECT_EQ(argumentsAndDirectory(sandbox), expected);
}

TEST(CommandLineLaunch, BurnersStopWhenTheRunForWindowEndsAndTheProgramIsReapedLater) {
    Sandbox sandbox;
    // No /CLOSE: Lentora stays after the watch; the program outlives the watch.
    LentoraProcess lentora(sandbox,
                           {.args = {"/SPEED=50", "/RUNFOR=1", sandbox.program.string()}, .childSleepMs = 3500});
    ASSERT_TRUE(waitFor([&] { return sandbox.childStarted(); }, 10s, 20ms));
    const auto atStart = lentora.workerCpu();
    ASSERT_FALSE(lentora.children().empty()) << "the program is not Lentora's child";

    // The window lasts one to two ticks; then the burners rest.
    std::this_thread::sleep_for(2300ms);
    const auto afterWindow = lentora.workerCpu();
    std::this_thread::sleep_for(700ms);
    const auto later = lentora.workerCpu();
    EXPECT_GE(busyThreads(cpuSince(atStart, afterWindow), 100), 1) << "no burner worked in the window";
    EXPECT_LT(totalCpu(cpuSince(afterWindow, later)), 100) << "the burners went on after the window";

    // The program ends after its watch did: it must not stay a zombie.
    EXPECT_TRUE(waitFor([&] { return lentora.children().empty(); }, 5s, 20ms))
        << "the ended program was not reaped, state "
        << (lentora.children().empty() ? ' ' : lentora.children().begin()->second);
    EXPECT_TRUE(lentora.running()) << "Lentora ended without /CLOSE";
}

TEST(CommandLineLaunch, ProgramThatEndsDuringTheWatchIsReaped) {
    Sandbox sandbox;
    LentoraProcess lentora(sandbox,
                           {.args = {"/SPEED=20", "/RUNFOR=0", sandbox.program.string()}, .childSleepMs = 200});
    ASSERT_TRUE(waitFor([&] { return sandbox.childStarted(); }, 10s, 20ms));

    EXPECT_TRUE(waitFor([&] { return lentora.children().empty(); }, 4s, 20ms)) << "the ended program stayed a zombie";
    std::this_thread::sleep_for(1500ms);  // the watch has ended with the program
    const auto before = lentora.workerCpu();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(totalCpu(cpuSince(before, lentora.workerCpu())), 100) << "the burners outlived the program";
    EXPECT_TRUE(lentora.running());
}

// A refused command line (which ones the parse refuses: its own tests)
// starts nothing, and Lentora stays until it is closed.
TEST(CommandLineLaunch, RefusedCommandLineStartsNothingAndLentoraStaysUntilClosed) {
    Sandbox sandbox;
    LentoraProcess lentora(sandbox, {.args = {"/SPEED=99", sandbox.program.string()}});

    // A valid command line starts the program within about a second.
    std::this_thread::sleep_for(2500ms);
    EXPECT_FALSE(std::filesystem::exists(sandbox.record)) << "the program was started";
    EXPECT_TRUE(lentora.children().empty());
    ASSERT_TRUE(lentora.running()) << "Lentora did not stay";
    lentora.signal(SIGTERM);
    EXPECT_TRUE(lentora.waitForExit(5s));
}

// The line a closing launch ends with reports the share the program got, as
// the harness reads it; at 98 as root it is near the 2 % asked (the precise
// figures are the benchmark's).
TEST(CommandLineLaunch, ClosingLaunchSaysWhatShareTheProgramRanAt) {
    if (geteuid() != 0) GTEST_SKIP() << "real time as root";
    Sandbox sandbox;
    const std::string errors = (sandbox.work / "stderr.txt").string();
    LentoraProcess lentora(
        sandbox, {.args = {"/SPEED=98", "/RUNFOR=4", "/CLOSE", "perl", "-e", "$end = time + 7; 1 while time < $end"},
                  .stderrFile = errors});
    const auto status = lentora.waitForExit(30s);
    reapAdopted(ownChildren());  // the busy program, one process that outlives the watch
    ASSERT_TRUE(status && WIFEXITED(*status)) << "Lentora did not end after the watch";
    const std::string text = slurp(errors);
    std::smatch m;
    const std::regex line(
        R"(lentora: the program ran at ([0-9]+\.[0-9]) % of a processor \([^)]*\) over ([0-9]+\.[0-9]) s; )"
        R"(the slow-down asked for 2 %\n)");
    ASSERT_TRUE(std::regex_search(text, m, line)) << text;
    EXPECT_GT(std::stod(m[1]), 0.2) << "a shared machine's load takes part of the free part";
    EXPECT_LT(std::stod(m[1]), 8.0);
    EXPECT_GE(std::stod(m[2]), 2.0) << "measured over the run-for window";
}
