// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window against real failures of what it depends on: a per-user
// store that cannot be written or is damaged, a launch list file that is
// not a file or is enormous, launched paths that cannot run or are full of
// shell syntax, and children killed by signals.
#include <sys/resource.h>
#include <algorithm>
#include <csignal>

#include "file_text.h"
#include "test_paths.h"
#include "window_fixture.h"

using namespace shell;
using engine::kBenchValue;
using engine::kRegistryKey;

namespace fs = std::filesystem;

namespace {

struct Faults : WindowFixture {
    // The window on a real .reg store instead of the fixture's memory one.
    Tform1& openOn(platform::UserRegistry& regFile, std::vector<std::string> parameters = {}) {
        store = &regFile;
        return open(std::move(parameters));
    }
    // As root a read-only directory does not stop a write, so the store's
    // directory is made impossible instead: a regular file stands in its path.
    std::unique_ptr<platform::UserRegistry> unwritableStore() const {
        spit(root() / "config", "not a directory");
        return platform::openRegFile(root() / "config" / "lentora" / "registry.reg");
    }

    void expectOnlyNotSavedMessages() const {
        for (const auto& box : dialogs.shown)
            EXPECT_TRUE(box.text.startsWith("Failed to set data for 'bench'")) << box.text.toStdString();
    }
};

// --- the per-user store ---

TEST_F(Faults, StoreThatCannotBeWrittenReportsTheBenchmarkNotSavedAndTheWindowComesBack) {
    auto unwritable = unwritableStore();
    Tform1& f = openOn(*unwritable);
    // A measurement of 0 ms (the tests measure briefly) is taken again; both
    // are reported as not saved.
    ASSERT_GE(dialogs.shown.size(), 1u);
    expectOnlyNotSavedMessages();
    expectWindowBack(f);

    const size_t shown = dialogs.shown.size();
    ui(f).TunetoyourCPU1->trigger();
    EXPECT_GT(dialogs.shown.size(), shown);
    expectOnlyNotSavedMessages();
    expectWindowBack(f);
    EXPECT_EQ(slurp(root() / "config"), "not a directory");
}

// Fault: on a command-line launch with "/CLOSE" the same message waited in a
// box for a click, and Lentora never closed.
TEST_F(Faults, CommandLineLaunchSaysTheBenchmarkWasNotSavedWithoutABox) {
    auto unwritable = unwritableStore();
    Tform1& f = openOn(*unwritable, {"/RUNFOR=1", "/CLOSE", "/bin/true"});
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(ui(f).StatusBar1->text().contains("Failed to set data for 'bench'"))
        << ui(f).StatusBar1->text().toStdString();
    EXPECT_TRUE(ui(f).StatusBar1->text().startsWith("close   runfor:1")) << "the start-up text comes first";
}

// A full disk during the store's rewrite: the size limit stops the write of
// the new file half-way; the old store stays as it was.
TEST_F(Faults, DiskFullWhileStoringTheBenchmarkKeepsTheOldStore) {
    const fs::path file = root() / "registry.reg";
    auto regFile = platform::openRegFile(file);
    ASSERT_TRUE(regFile->writeDword(kRegistryKey, kBenchValue, 400));
    ASSERT_TRUE(regFile->writeString(kRegistryKey, "padding", std::string(200, 'p')));
    const std::string before = slurp(file);
    Tform1& f = openOn(*regFile);
    ASSERT_EQ(ui(f).benchtime->text(), "400") << "the stored time is used";

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = before.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ui(f).TunetoyourCPU1->trigger();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_GE(dialogs.shown.size(), 1u);
    expectOnlyNotSavedMessages();
    EXPECT_TRUE(dialogs.shown[0].text.contains("File too large")) << dialogs.shown[0].text.toStdString();
    EXPECT_EQ(slurp(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(root()), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
    expectWindowBack(f);
}

struct DamagedStore : Faults, ::testing::WithParamInterface<const char*> {
    static std::string contents(const std::string& kind) {
        const std::string header =
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + std::string(kRegistryKey) + "]\n";
        if (kind == "garbage") {
            std::string bytes;
            uint32_t seed = 7;
            for (int i = 0; i < 64 * 1024; ++i) bytes += char((seed = seed * 134775813u + 1) >> 24);
            return bytes;
        }
        std::string text = header;  // "huge"
        const std::string junk = "\"junk\"=\"" + std::string(4000, 'j') + "\"\n";
        while (text.size() < 8u * 1024 * 1024) text += junk;
        return text + "\"bench\"=dword:00000190\n";  // beyond what is read
    }
};

TEST_P(DamagedStore, ProgramStartsMeasuresAndStoresADword) {
    const fs::path file = root() / "registry.reg";
    spit(file, contents(GetParam()));
    auto regFile = platform::openRegFile(file);
    const auto start = std::chrono::steady_clock::now();
    Tform1& f = openOn(*regFile);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    if (std::string(GetParam()) == "huge") {
        // Rewriting it would lose what lies beyond the part that is read.
        EXPECT_FALSE(dialogs.shown.empty());
        expectOnlyNotSavedMessages();
        EXPECT_EQ(slurp(file), contents(GetParam()));
    } else {
        EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text.toStdString();
        EXPECT_EQ(platform::openRegFile(file)->readDword(kRegistryKey, kBenchValue), ui(f).benchtime->text().toUInt());
    }
    expectWindowBack(f);
}

// A value of another type and tens of thousands of names: the benchmark's
// and the store's own tests (BenchmarkStore, StoreFaults).
INSTANTIATE_TEST_SUITE_P(Kinds, DamagedStore, ::testing::Values("garbage", "huge"),
                         [](const auto& info) { return QString(info.param).replace(' ', '_').toStdString(); });

// --- the launch list file ---

// A launch list that cannot be read is an empty list, with a message where
// there is a file to speak of, and the window stays usable. 16 MB of blank
// lines once took 586 MB and seconds to load; the limits refuse it at once.
TEST_F(Faults, UnreadableLaunchFileIsAnEmptyListAndTheWindowStaysUsable) {
    const struct {
        const char* name;
        std::function<void()> prepare;
        fs::path file;
        const char* message;  // "" for none
    } cases[] = {
        {"directory", [&] { fs::create_directory(root() / "lentora.ini"); }, root() / "lentora.ini", "Is a directory"},
        {"behind a plain file", [&] { spit(root() / "plain", "x"); }, root() / "plain" / "lentora.ini", ""},
        {"beyond the limits", [&] { spit(root() / "big.ini", std::string(16 << 20, '\n')); }, root() / "big.ini",
         "File too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        dialogs.shown.clear();
        c.prepare();
        launchFile = c.file;
        const auto start = std::chrono::steady_clock::now();
        Tform1& f = open();
        f.show();
        QApplication::processEvents();
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
        EXPECT_EQ(ui(f).ListBox1->model()->rowCount(), 0);
        ASSERT_EQ(dialogs.shown.size(), *c.message ? 1u : 0u);
        for (const auto& box : dialogs.shown) EXPECT_TRUE(box.text.contains(c.message)) << box.text.toStdString();
        expectWindowBack(f);
        f.Button1Click();
        EXPECT_TRUE(running());
        f.Button1Click();
    }
    EXPECT_TRUE(fs::is_directory(root() / "lentora.ini"));
}

// --- launched programs ---

struct LaunchFaults : LaunchFixture {
    Tform1& launch(const std::string& path, const std::string& runFor = "0") {
        Tform1& f = openWithEntry({"fault", path, "40", runFor, "0", "noclose", "notminimized"});
        ui(f).TrackBar1->setValue(7);
        f.LaunchClick();
        return f;
    }

    // The watch ended and left the window as before the launch.
    void expectCleanEnd(Tform1& f) {
        ASSERT_TRUE(watchEnded(f));
        EXPECT_EQ(burner().Factor(), 7);
        EXPECT_EQ(ui(f).TrackBar1->value(), 7);
        EXPECT_TRUE(waitFor([&] { return ui(f).ProgressBar1->value() == 0; })) << "the progress went back";
        expectWindowBack(f);
    }
};

// A directory, a file without the right to run, and one in no format the
// kernel runs: nothing starts, and no shell is asked to run them.
TEST_F(LaunchFaults, PathsThatAreNoProgramStartNothingAndTheWatchEnds) {  // label: threads
    const fs::path marker = root() / "marker";
    const std::string script = "touch " + marker.string() + "\n";
    spit(root() / "plain", script);
    spit(root() / "noshebang", script);
    fs::permissions(root() / "noshebang", fs::perms::owner_all);
    for (const fs::path& path : {root(), root() / "plain", root() / "noshebang"}) {
        SCOPED_TRACE(path);
        form.reset();
        Tform1& f = launch(path.string());
        expectCleanEnd(f);
        EXPECT_TRUE(ui(f).StatusBar1->text().startsWith("Cannot start ")) << ui(f).StatusBar1->text().toStdString();
    }
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(LaunchFaults, ShellSyntaxInThePathReachesTheProgramAsPlainArguments) {  // label: threads
    const fs::path marker = root() / "marker";
    const std::string m = marker.string();
    const std::string command = testChildPath() + " ; touch " + m + " $(touch " + m + ") `touch " + m + "` \"quoted " +
                                m + "\" 'single' a\ntouch " + m + " && touch " + m + " | touch " + m;
    Tform1& f = launch(command);
    expectCleanEnd(f);
    EXPECT_GT(childPid(), 0);
    EXPECT_FALSE(fs::exists(marker));
    const QStringList seen = recorded();
    EXPECT_EQ(seen.mid(0, 2), QStringList({"arg=;", "arg=touch"})) << seen.join('|').toStdString();
    for (const QString& arg : QStringList{"arg=$(touch", "arg=&&", QString::fromStdString("arg=quoted " + m)})
        EXPECT_TRUE(seen.contains(arg)) << arg.toStdString() << " in " << seen.join('|').toStdString();
}

struct KilledChild : LaunchFaults, ::testing::WithParamInterface<int> {};

// Both while the watcher waits for the end and while it counts down a run-for.
TEST_P(KilledChild, EndsTheWatch) {  // label: threads
    setenv("LENTORA_CHILD_SLEEP_MS", "30000", 1);
    for (const char* runFor : {"0", "100000"}) {
        Tform1& f = launch(testChildPath(), runFor);
        ASSERT_TRUE(waitFor([&] { return childPid() > 0 && burner().suspendCount() == 0; }));
        const pid_t pid = childPid();
        ASSERT_EQ(kill(pid, GetParam()), 0);
        expectCleanEnd(f);
        EXPECT_TRUE(waitFor([&] { return kill(pid, 0) != 0; }, 5000)) << "no zombie is left";
        form.reset();
    }
}

// Signals that leave no core file behind.
INSTANTIATE_TEST_SUITE_P(Signals, KilledChild, ::testing::Values(SIGKILL, SIGTERM, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
