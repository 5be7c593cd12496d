// SPDX-License-Identifier: GPL-3.0-or-later
// Starting real child programs: arguments, working directory, PATH lookup,
// failures, no shell, and no zombies or leaked descriptors.
#include <platform/process.h>

#include <gtest/gtest.h>

#include "file_text.h"
#include "temp_dir.h"
#include "wait_for.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using platform::directoryPart;
using platform::processStarter;
using platform::splitCommand;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

// Starts a command written as a launch entry holds it.
std::unique_ptr<platform::Process> start(const std::string& command, const std::string& directory) {
    auto started = processStarter().start(splitCommand(command), directory);
    return started ? std::move(*started) : nullptr;
}

void makeExecutable(const fs::path& file, const std::string& text = "#!/bin/sh\n") {
    std::ofstream(file) << text;
    chmod(file.c_str(), 0755);
}

// LENTORA_TEST_CHILD names the test child program; without it, the one
// built beside this test program.
std::string testChild() {
    if (const char* child = std::getenv("LENTORA_TEST_CHILD")) return child;
    return (fs::read_symlink("/proc/self/exe").parent_path() / "lentora_test_child").string();
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        child_ = testChild();
        ASSERT_TRUE(fs::is_regular_file(child_)) << "no test child program at '" << child_ << "'";
        record_ = dir_ / "record.txt";
        setenv("LENTORA_CHILD_RECORD", record_.c_str(), 1);
        unsetenv("LENTORA_CHILD_SLEEP_MS");
    }
    void TearDown() override {
        unsetenv("LENTORA_CHILD_RECORD");
        unsetenv("LENTORA_CHILD_SLEEP_MS");
    }
    // Runs command to its end and gives what the child recorded.
    std::string run(const std::string& command, const std::string& directory) {
        auto process = start(command, directory);
        if (!process) return "(not started)";
        process->waitForEnd();
        return slurp(record_);
    }
    bool recorded() const { return slurp(record_).find("end\n") != std::string::npos; }

    std::string child_;
    TempDir temp_{"proc"};
    const fs::path& dir_ = temp_.path();
    fs::path record_;
};

TEST_F(ProcessTest, ChildSeesItsArgumentsAndDirectory) {
    EXPECT_EQ(run(child_ + " \"two  words\"\tplain \"\" a\"b c\"d ", dir_.string()),
              "arg=two  words\narg=plain\narg=\narg=ab cd\ncwd=" + dir_.string() + "\nend\n");
}

TEST_F(ProcessTest, EmptyDirectoryMeansTheCurrentOne) {
    EXPECT_EQ(run(child_, ""), "cwd=" + fs::current_path().string() + "\nend\n");
}

TEST_F(ProcessTest, UnquotedPathWithBlanksIsResolved) {
    const fs::path games = dir_ / "old games";
    fs::create_directory(games);
    fs::create_symlink(child_, games / "run");
    const std::string command = (games / "run").string() + " game  on";

    EXPECT_EQ(splitCommand(command), (Strings{(games / "run").string(), "game", "on"}));
    EXPECT_EQ(directoryPart(command), games.string() + "/");
    EXPECT_EQ(run(command, directoryPart(command)), "arg=game\narg=on\ncwd=" + games.string() + "\nend\n");
}

TEST_F(ProcessTest, RelativeProgramIsFoundFromOurDirectoryNotTheChilds) {
    const fs::path sub = dir_ / "sub";
    fs::create_directory(sub);
    fs::create_symlink(child_, sub / "run");
    const fs::path saved = fs::current_path();
    fs::current_path(dir_);
    const std::string seen = run("sub/run x", directoryPart("sub/run x"));
    fs::current_path(saved);
    EXPECT_EQ(seen, "arg=x\ncwd=" + sub.string() + "\nend\n");
}

TEST_F(ProcessTest, ProgramNameWithoutSlashIsLookedUpInPath) {
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    fs::create_symlink(child_, bin / "lentora-test-prog");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
    const std::string seen = run("lentora-test-prog hello", dir_.string());
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(seen, "arg=hello\ncwd=" + dir_.string() + "\nend\n");

    auto truth = start("true", "");
    ASSERT_NE(truth, nullptr);
    truth->waitForEnd();
    EXPECT_EQ(start("lentora-no-such-program", ""), nullptr);
}

TEST_F(ProcessTest, StartsThatCannotWorkSayWhy) {
    const fs::path plain = dir_ / "plain";
    std::ofstream(plain) << "data";
    chmod(plain.c_str(), 0644);
    // Executable but in no format the kernel runs: a shell would run it; we must not.
    makeExecutable(dir_ / "script", "touch " + (dir_ / "ran").string() + "\n");

    const auto why = [](const Strings& arguments, const std::string& directory) {
        const auto started = processStarter().start(arguments, directory);
        return started.failure() ? started.failure()->reason : "started";
    };
    // The error number decides the status a wrapper ends with, as a shell's would.
    const auto status = [](const Strings& arguments) {
        const auto started = processStarter().start(arguments, "");
        return started.failure() ? platform::startFailureStatus(started.failure()->error) : 0;
    };
    EXPECT_EQ(status({plain.string()}), platform::kCannotExecuteStatus);
    EXPECT_EQ(status({(dir_ / "script").string()}), platform::kCannotExecuteStatus);
    EXPECT_EQ(status({(dir_ / "missing").string()}), platform::kNotStartedStatus);
    const std::string missing = "No such file or directory";
    EXPECT_EQ(why({(dir_ / "missing").string()}, ""), missing);
    EXPECT_EQ(why({dir_.string()}, ""), "Is a directory");
    EXPECT_EQ(why({plain.string()}, ""), "Permission denied");
    EXPECT_EQ(why({child_}, (dir_ / "nowhere").string()), missing);
    EXPECT_EQ(why({child_}, plain.string()), "Not a directory");
    EXPECT_EQ(why({}, ""), missing);
    EXPECT_EQ(why(splitCommand("  \t "), ""), missing);
    EXPECT_EQ(why({(dir_ / "script").string()}, dir_.string()), "Exec format error");
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(fs::exists(dir_ / "ran"));
    EXPECT_FALSE(fs::exists(record_));
}

TEST_F(ProcessTest, NothingIsInterpretedByAShell) {
    const std::string command = child_ + " ; touch x $(touch y) `touch w` a\ntouch z | touch v > u";
    EXPECT_EQ(run(command, dir_.string()),
              "arg=;\narg=touch\narg=x\narg=$(touch\narg=y)\narg=`touch\narg=w`\n"
              "arg=a\ntouch\narg=z\narg=|\narg=touch\narg=v\narg=>\narg=u\ncwd=" +
                  dir_.string() + "\nend\n");
    for (const char* name : {"x", "y", "w", "z", "v", "u"}) EXPECT_FALSE(fs::exists(dir_ / name)) << name;
}

TEST_F(ProcessTest, RunningTurnsFalseWhenTheProgramEndsOrIsKilled) {
    setenv("LENTORA_CHILD_SLEEP_MS", "300", 1);
    auto process = start(child_, "");
    ASSERT_NE(process, nullptr);
    EXPECT_GT(process->pid(), 0);
    EXPECT_TRUE(process->running());
    EXPECT_TRUE(waitFor([&] { return !process->running(); }));
    process->waitForEnd();  // returns at once after the end was seen
    EXPECT_FALSE(process->running());

    setenv("LENTORA_CHILD_SLEEP_MS", "20000", 1);  // killed, it ends too
    auto killed = start(child_, "");
    ASSERT_NE(killed, nullptr);
    kill(killed->pid(), SIGKILL);
    killed->waitForEnd();
    EXPECT_FALSE(killed->running());
}

// A process that has ended but was not waited for shows state Z.
bool zombieOrAlive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    return stat.good();
}

TEST_F(ProcessTest, ClosedHandleLeavesNoZombie) {
    setenv("LENTORA_CHILD_SLEEP_MS", "200", 1);
    auto process = start(child_, "");
    ASSERT_NE(process, nullptr);
    const pid_t pid = process->pid();
    process.reset();
    EXPECT_TRUE(waitFor([&] { return !zombieOrAlive(pid); })) << "pid " << pid << " was never reaped";
}

TEST_F(ProcessTest, HandleClosedAfterTheEndLeavesNoZombie) {
    auto process = start(child_, "");
    ASSERT_NE(process, nullptr);
    const pid_t pid = process->pid();
    ASSERT_TRUE(waitFor([&] { return recorded(); }));
    std::this_thread::sleep_for(50ms);  // let it exit without anyone polling
    process.reset();
    EXPECT_TRUE(waitFor([&] { return !zombieOrAlive(pid); }));
}

uint64_t statusMask(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    return ~uint64_t(0);
}

Strings openDescriptors(pid_t pid) {
    Strings fds;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        fds.push_back(entry.path().filename().string());
    return fds;
}

// The program blocks real-time signals to suspend its threads and may hold
// descriptors without close-on-exec; neither must reach the child.
TEST_F(ProcessTest, ChildGetsCleanSignalsAndNoExtraDescriptors) {
    const int leaky = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(leaky, 3);
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGRTMIN + 4);
    pthread_sigmask(SIG_BLOCK, &block, &saved);
    const auto oldHandler = std::signal(SIGUSR2, SIG_IGN);
    setenv("LENTORA_CHILD_SLEEP_MS", "20000", 1);

    auto process = start(child_, "");
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    std::signal(SIGUSR2, oldHandler);
    close(leaky);
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(waitFor([&] { return recorded(); }));

    const uint64_t blocked = statusMask(process->pid(), "SigBlk");
    const uint64_t ignored = statusMask(process->pid(), "SigIgn");
    EXPECT_EQ(blocked & (uint64_t(1) << (SIGRTMIN + 4 - 1)), 0u) << std::hex << blocked;
    EXPECT_EQ(ignored & (uint64_t(1) << (SIGUSR2 - 1)), 0u) << std::hex << ignored;
    for (const std::string& fd : openDescriptors(process->pid())) EXPECT_LE(std::stoi(fd), 2) << fd;
    kill(process->pid(), SIGKILL);
    process->waitForEnd();
}

TEST(SplitCommand, ShortestRunOfWordsNamingAProgramWins) {
    const TempDir temp("split");
    const fs::path& dir = temp.path();
    makeExecutable(dir / "a");
    makeExecutable(dir / "a b");
    makeExecutable(dir / "c d");
    fs::create_directory(dir / "e f");
    std::ofstream(dir / "g h") << "not executable";
    const std::string d = dir.string();

    EXPECT_EQ(splitCommand(d + "/a b c"), (Strings{d + "/a", "b", "c"}));
    EXPECT_EQ(splitCommand(d + "/c d x"), (Strings{d + "/c d", "x"}));
    makeExecutable(dir / "x\ty");
    EXPECT_EQ(splitCommand(d + "/x\ty z"), (Strings{d + "/x\ty", "z"})) << "a tab is kept as written";
    EXPECT_EQ(splitCommand("\"" + d + "/a b\" c"), (Strings{d + "/a b", "c"}));
    EXPECT_EQ(splitCommand(d + "/c \"d\""), (Strings{d + "/c", "d"})) << "quoted words never join";
    EXPECT_EQ(splitCommand(d + "/e f x"), (Strings{d + "/e", "f", "x"}));
    EXPECT_EQ(splitCommand(d + "/g h x"), (Strings{d + "/g", "h", "x"}));
    EXPECT_EQ(platform::joinProgramWords({d + "/c", "d", "x"}), (Strings{d + "/c d", "x"})) << "as a list";
    EXPECT_EQ(platform::joinProgramWords({d + "/a", "b"}), (Strings{d + "/a", "b"}));
}

TEST(SplitCommand, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(splitCommand(""), Strings{});
    EXPECT_EQ(splitCommand(" \t "), Strings{});
    EXPECT_EQ(splitCommand("  /no/such/x   y\tz "), (Strings{"/no/such/x", "y", "z"}));
    EXPECT_EQ(splitCommand("/no/such \"a  b\" \"\" \"open"), (Strings{"/no/such", "a  b", "", "open"}));
    EXPECT_EQ(splitCommand("true false"), (Strings{"true", "false"}));
}

TEST(DirectoryPart, IsEverythingUpToTheLastSlash) {
    EXPECT_EQ(directoryPart("/opt/old games/run game"), "/opt/old games/");
    EXPECT_EQ(directoryPart("run"), "");
    EXPECT_EQ(directoryPart("sub/run x"), "sub/");
    EXPECT_EQ(directoryPart("/run"), "/");
    EXPECT_EQ(directoryPart("prog /tmp/file"), "prog /tmp/");
}

}  // namespace
