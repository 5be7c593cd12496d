#include "launch/launchfile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cmdline/inttext.h"

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string crlfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::vector<std::string> flatten(const std::vector<LaunchEntry>& entries) {
    std::vector<std::string> values;
    for (const LaunchEntry& e : entries)
        values.insert(values.end(), {e.name, e.path, e.factor, e.runFor, e.wait, e.closeToken, e.minimizeToken});
    return values;
}

const LaunchEntry kOldGame{"Old game", "C:\\GAMES\\OLD.EXE", "60", "0", "5", "close", "minimized"};
const LaunchEntry kSlowTool{"Slow tool", "C:\\TOOLS\\SLOW.EXE", "40", "300", "0", "noclose", "notminimized"};
const std::vector<std::string> kExampleLines{
    "Old game", "Slow tool", "C:\\GAMES\\OLD.EXE", "C:\\TOOLS\\SLOW.EXE", "60",    "40",           "0",
    "300",      "5",         "0",                  "close",              "noclose", "minimized", "notminimized"};

class LaunchFile : public testing::Test {
protected:
    fs::path file() const { return fs::path(dir_.path().toStdString()) / kLaunchFileName; }
    fs::path dir() const { return fs::path(dir_.path().toStdString()); }
    size_t filesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()));
    }

private:
    QTemporaryDir dir_;
};

// --- the two-entry example ---

TEST_F(LaunchFile, ExampleIsWrittenLineByLine) {
    ASSERT_EQ(saveLaunchFile(file(), {kOldGame, kSlowTool}), "");
    EXPECT_EQ(readBytes(file()), crlfLines(kExampleLines));
}

TEST_F(LaunchFile, ExampleIsReadColumnByColumn) {
    writeBytes(file(), crlfLines(kExampleLines));
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_EQ(loaded.error, "");
    EXPECT_EQ(flatten(loaded.entries), flatten({kOldGame, kSlowTool}));
}

// --- round trips ---

TEST_F(LaunchFile, RoundTripKeepsBytesExactly) {
    const std::vector<LaunchEntry> entries{
        {"  padded name  ", " /opt/game/run --x ", "150", "", "", "close", "minimized"},
        {"", "", "", "", "", "", ""},
        {"caf\xE9 latin-1", "/home/\xC3\xBC/sp\xC3\xA9l", "$1F", "30", "2", "Close", "weird"},
        {"\ttab", "a\"quoted\" path", "-5", "0x10", "007", "noclose", "notminimized"}};
    ASSERT_EQ(saveLaunchFile(file(), entries), "");
    const std::string written = readBytes(file());
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_EQ(loaded.error, "");
    EXPECT_EQ(flatten(loaded.entries), flatten(entries));
    ASSERT_EQ(saveLaunchFile(file(), loaded.entries), "");
    EXPECT_EQ(readBytes(file()), written);
}

TEST_F(LaunchFile, FactorIsNotClampedWhenRead) {
    LaunchEntry entry = kOldGame;
    entry.factor = "150";
    ASSERT_EQ(saveLaunchFile(file(), {entry}), "");
    const LoadResult loaded = loadLaunchFile(file());
    ASSERT_EQ(loaded.entries.size(), 1u);
    EXPECT_EQ(loaded.entries[0].factor, "150");
    EXPECT_EQ(lenientInt(loaded.entries[0].factor), 150);
}

TEST_F(LaunchFile, EmptyListWritesEmptyFile) {
    writeBytes(file(), crlfLines(kExampleLines));
    ASSERT_EQ(saveLaunchFile(file(), {}), "");
    EXPECT_TRUE(fs::exists(file()));
    EXPECT_EQ(fs::file_size(file()), 0u);
    EXPECT_TRUE(loadLaunchFile(file()).entries.empty());
}

TEST_F(LaunchFile, SaveLeavesNoTemporaryFiles) {
    ASSERT_EQ(saveLaunchFile(file(), {kOldGame}), "");
    ASSERT_EQ(saveLaunchFile(file(), {kOldGame, kSlowTool}), "");
    EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(LaunchFile, ReplacingKeepsThePermissions) {
    writeBytes(file(), "old");
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(saveLaunchFile(file(), {kOldGame}), "");
    EXPECT_EQ(fs::status(file()).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// --- reading rules, table-driven over the raw text ---

struct TextCase {
    std::string name;
    std::string text;
    std::vector<std::string> values;  // entries flattened, entry by entry
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class LaunchText : public testing::TestWithParam<TextCase> {};

TEST_P(LaunchText, Parses) {
    EXPECT_EQ(flatten(parseLaunchText(GetParam().text)), GetParam().values);
}

const std::vector<std::string> kOneEntry{"n", "p", "f", "r", "w", "c", "m"};

INSTANTIATE_TEST_SUITE_P(
    LineCounts, LaunchText,
    testing::Values(TextCase{"Empty", "", {}}, TextCase{"SixLines", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", {}},
                    TextCase{"FifteenLines",
                             crlfLines(kExampleLines) + "extra\r\n",
                             flatten({kOldGame, kSlowTool})},
                    TextCase{"ThirteenLinesAreOneEntry",
                             crlfLines({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m"}),
                             {"a", "b", "c", "d", "e", "f", "g"}},
                    TextCase{"LastLineWithoutEnd", "n\r\np\r\nf\r\nr\r\nw\r\nc\r\nm", kOneEntry}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    LineEnds, LaunchText,
    testing::Values(TextCase{"CrOnly", "n\rp\rf\rr\rw\rc\rm\r", kOneEntry},
                    TextCase{"LfOnly", "n\np\nf\nr\nw\nc\nm\n", kOneEntry},
                    TextCase{"Mixed", "n\rp\nf\r\nr\rw\nc\r\nm", kOneEntry},
                    TextCase{"CrCrLfIsTwoLines", "n\r\r\nf\r\nr\r\nw\r\nc\r\nm\r\n", {"n", "", "f", "r", "w", "c", "m"}},
                    TextCase{"LfCrIsTwoLines", "n\n\rf\nr\nw\nc\nm\n", {"n", "", "f", "r", "w", "c", "m"}},
                    TextCase{"EmptyLinesAreEmptyValues", "\r\n\r\n\r\n\r\n\r\n\r\n\r\n",
                             {"", "", "", "", "", "", ""}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    NulByte, LaunchText,
    testing::Values(TextCase{"EndsTheText", std::string("n\r\np\r\nf\r\nr\r\nw\r\nc\r\nm\r\n\0x\r\n", 23) +
                                                crlfLines({"1", "2", "3", "4", "5", "6"}),
                             kOneEntry},
                    TextCase{"InsideALine", std::string("n\r\np\r\nf\r\nr\r\nw\r\nc\r\nmi\0n\r\nz", 26),
                             {"n", "p", "f", "r", "w", "c", "mi"}},
                    TextCase{"CutsBelowSevenLines", std::string("n\r\np\r\nf\0r\r\nw\r\nc\r\nm\r\n", 21), {}}),
    [](const auto& info) { return info.param.name; });

// --- the file on disk ---

TEST_F(LaunchFile, MissingFileIsAnEmptyListWithoutError) {
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_EQ(loaded.error, "");
}

TEST_F(LaunchFile, DirectoryNamedLikeTheFileIsAnError) {
    fs::create_directory(file());
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_NE(loaded.error.find("Cannot open file \"" + file().string() + "\". "), std::string::npos) << loaded.error;
    EXPECT_NE(loaded.error.find("Is a directory"), std::string::npos) << loaded.error;
}

TEST_F(LaunchFile, PipeIsRefusedWithoutBlocking) {
    ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_NE(loaded.error.find("Cannot open file"), std::string::npos) << loaded.error;
}

TEST_F(LaunchFile, SymlinkIsFollowed) {
    const fs::path target = dir() / "real.ini";
    writeBytes(target, crlfLines(kExampleLines));
    fs::create_symlink(target, file());
    EXPECT_EQ(loadLaunchFile(file()).entries.size(), 2u);
}

TEST_F(LaunchFile, MillionLinesOfHundredMegabytes) {
    const size_t entries = 150'000;
    const std::string value(96, 'v');
    std::string text;
    text.reserve(entries * 7 * (value.size() + 2));
    for (size_t i = 0; i < entries * 7; ++i) text.append(value).append("\r\n");
    writeBytes(file(), text);
    text = {};
    ASSERT_GE(fs::file_size(file()), 100'000'000u);
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_EQ(loaded.error, "");
    ASSERT_EQ(loaded.entries.size(), entries);
    EXPECT_EQ(loaded.entries.back().minimizeToken, value);
    fs::remove(file());
}

TEST_F(LaunchFile, OversizedFileIsRefused) {
    writeBytes(file(), crlfLines(kExampleLines));
    fs::resize_file(file(), kLaunchFileMaxBytes + 1);  // sparse: costs no disk space
    const LoadResult loaded = loadLaunchFile(file());
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_NE(loaded.error.find("File too large"), std::string::npos) << loaded.error;
}

// --- failed saves keep the old file ---

class FailedSave : public LaunchFile {
protected:
    void SetUp() override { writeBytes(file(), old_); }
    void expectOldFileKept(const std::string& error, const char* prefix) {
        EXPECT_NE(error.find(prefix), std::string::npos) << error;
        EXPECT_GT(error.size(), std::string(prefix).size() + file().string().size() + 4) << "no reason: " << error;
        EXPECT_EQ(readBytes(file()), old_);
        EXPECT_EQ(filesInDir(), 1u) << "a temporary file was left behind";
    }

    const std::string old_ = crlfLines(kExampleLines);
};

TEST_F(FailedSave, DirectoryNamedLikeTheFile) {
    fs::remove(file());
    fs::create_directory(file());
    const std::string error = saveLaunchFile(file(), {kOldGame});
    EXPECT_NE(error.find("Cannot create file \"" + file().string() + "\". "), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(FailedSave, DirectoryIsARegularFile) {
    const fs::path notADir = dir() / "plain";
    writeBytes(notADir, "x");
    const std::string error = saveLaunchFile(notADir / kLaunchFileName, {kOldGame});
    EXPECT_NE(error.find("Cannot create file"), std::string::npos) << error;
    EXPECT_EQ(readBytes(notADir), "x");
}

TEST_F(FailedSave, MissingDirectory) {
    const std::string error = saveLaunchFile(dir() / "absent" / kLaunchFileName, {kOldGame});
    EXPECT_NE(error.find("Cannot create file"), std::string::npos) << error;
}

// Saves in a child process whose file size limit stands in for a full disk:
// the write fails half-way. The limit would also stop the test's own output,
// so it is never set in this process. Returns the save's message.
std::string saveWithFileSizeLimit(const fs::path& file, const std::vector<LaunchEntry>& entries, rlim_t bytes) {
    int channel[2];
    if (pipe(channel) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = saveLaunchFile(file, entries);
        const ssize_t written = write(channel[1], error.data(), error.size());
        _exit(written == static_cast<ssize_t>(error.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string error;
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) error.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return error;
}

TEST_F(FailedSave, DiskFullHalfWay) {
    const std::string error = saveWithFileSizeLimit(file(), std::vector<LaunchEntry>(100, kSlowTool), 64);
    expectOldFileKept(error, "Cannot write file \"");
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
}

TEST_F(FailedSave, SaveWithinTheLimitStillWorks) {
    EXPECT_EQ(saveWithFileSizeLimit(file(), {kOldGame}, 4096), "");
    EXPECT_EQ(readBytes(file()), formatLaunchText({kOldGame}));
}

}  // namespace
