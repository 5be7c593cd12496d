// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/launch_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "file_text.h"
#include "in_child.h"

using namespace launch;

namespace fs = std::filesystem;

namespace {

// The message of a save or a load, "" when it worked: what a child process
// hands back, and what the cases below look for.
std::string messageOf(const platform::Result<>& outcome) { return outcome ? "" : outcome.failure()->reason; }
std::string messageOf(const platform::Result<std::vector<LaunchEntry>>& loaded) {
    return loaded.failure() ? loaded.failure()->reason : "";
}
size_t entryCount(const platform::Result<std::vector<LaunchEntry>>& loaded) { return loaded ? loaded->size() : 0; }

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
    "Old game", "Slow tool", "C:\\GAMES\\OLD.EXE", "C:\\TOOLS\\SLOW.EXE", "60", "40", "0", "300", "5", "0",
    "close",    "noclose",   "minimized",          "notminimized"};

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

// Read back by the text cases (FifteenLines) and the round trips.
TEST_F(LaunchFile, ExampleIsWrittenLineByLine) {
    ASSERT_TRUE(saveLaunchFile(file(), {kOldGame, kSlowTool}));
    EXPECT_EQ(slurp(file()), crlfLines(kExampleLines));
}

// --- round trips ---

// A factor above the range too: it is not clamped when read.
TEST_F(LaunchFile, RoundTripKeepsBytesExactly) {
    const std::vector<LaunchEntry> entries{
        {"  padded name  ", " /opt/game/run --x ", "150", "", "", "close", "minimized"},
        {"", "", "", "", "", "", ""},
        {"caf\xE9 latin-1", "/home/\xC3\xBC/sp\xC3\xA9l", "$1F", "30", "2", "Close", "weird"},
        {"\ttab", "a\"quoted\" path", "-5", "0x10", "007", "noclose", "notminimized"}};
    ASSERT_TRUE(saveLaunchFile(file(), entries));
    const std::string written = slurp(file());
    const auto loaded = loadLaunchFile(file());
    ASSERT_TRUE(loaded) << messageOf(loaded);
    EXPECT_EQ(flatten(*loaded), flatten(entries));
    ASSERT_TRUE(saveLaunchFile(file(), *loaded));
    EXPECT_EQ(slurp(file()), written);
}

TEST_F(LaunchFile, EmptyListWritesEmptyFile) {
    spit(file(), crlfLines(kExampleLines));
    ASSERT_TRUE(saveLaunchFile(file(), {}));
    EXPECT_TRUE(fs::exists(file()));
    EXPECT_EQ(fs::file_size(file()), 0u);
    EXPECT_EQ(entryCount(loadLaunchFile(file())), 0u);
}

TEST_F(LaunchFile, ReplacingKeepsThePermissions) {
    spit(file(), crlfLines(kExampleLines));
    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(saveLaunchFile(file(), {kOldGame}));
    EXPECT_EQ(fs::status(file()).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// --- reading rules, table-driven over the raw text ---

struct TextCase {
    std::string name;
    std::string text;
    std::vector<std::string> values;  // entries flattened, entry by entry
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class LaunchText : public testing::TestWithParam<TextCase> {};

TEST_P(LaunchText, Parses) { EXPECT_EQ(flatten(parseLaunchText(GetParam().text)), GetParam().values); }

const std::vector<std::string> kOneEntry{"n", "p", "f", "r", "w", "c", "m"};

INSTANTIATE_TEST_SUITE_P(
    LineCounts, LaunchText,
    testing::Values(TextCase{"Empty", "", {}}, TextCase{"SixLines", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", {}},
                    TextCase{"FifteenLines", crlfLines(kExampleLines) + "extra\r\n", flatten({kOldGame, kSlowTool})},
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
                    TextCase{
                        "CrCrLfIsTwoLines", "n\r\r\nf\r\nr\r\nw\r\nc\r\nm\r\n", {"n", "", "f", "r", "w", "c", "m"}},
                    TextCase{"LfCrIsTwoLines", "n\n\rf\nr\nw\nc\nm\n", {"n", "", "f", "r", "w", "c", "m"}},
                    TextCase{"EmptyLinesAreEmptyValues", "\r\n\r\n\r\n\r\n\r\n\r\n\r\n", {"", "", "", "", "", "", ""}}),
    [](const auto& info) { return info.param.name; });

// --- the file on disk ---

// What stands at the file's path: nothing is an empty list, a link is
// followed, and what is no regular file is refused without blocking.
TEST_F(LaunchFile, LoadOfWhatStandsAtThePath) {
    const struct {
        const char* name;
        std::function<void()> make;
        size_t entries;
        std::string error;  // "" for none
    } cases[] = {
        {"nothing", [] {}, 0, ""},
        {"directory", [&] { fs::create_directory(file()); }, 0,
         "Cannot open file \"" + file().string() + "\". Is a directory"},
        {"pipe", [&] { ASSERT_EQ(mkfifo(file().c_str(), 0600), 0); }, 0, "Cannot open file"},
        {"link",
         [&] {
             spit(dir() / "real.ini", crlfLines(kExampleLines));
             fs::create_symlink(dir() / "real.ini", file());
         },
         2, ""},
        {"oversized file",
         [&] {
             spit(file(), crlfLines(kExampleLines));
             fs::resize_file(file(), kLaunchFileMaxBytes + 1);  // sparse: costs no disk space
         },
         0, "File too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir() / "real.ini");
        fs::remove_all(file());
        c.make();
        const auto loaded = loadLaunchFile(file());
        EXPECT_EQ(entryCount(loaded), c.entries);
        EXPECT_EQ(messageOf(loaded).empty(), c.error.empty()) << messageOf(loaded);
        EXPECT_NE(messageOf(loaded).find(c.error), std::string::npos) << messageOf(loaded);
    }
}

// Beyond the limits a file is refused (and a save keeps it) instead of
// being read: 16 MB of blank lines once took 586 MB and seconds to load.
struct LimitCase {
    std::string name, text, error;
    size_t entries;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class LaunchLimits : public LaunchFile, public testing::WithParamInterface<LimitCase> {};

TEST_P(LaunchLimits, LoadWithinBoundedMemory) {
    spit(file(), GetParam().text);
    const std::string seen = inChild([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto loaded = loadLaunchFile(file());
        getrusage(RUSAGE_SELF, &after);
        return std::to_string(entryCount(loaded)) + " " + std::to_string(after.ru_maxrss - before.ru_maxrss) + " " +
               messageOf(loaded);
    });
    size_t entries = 0, growthKb = 0;
    std::istringstream(seen) >> entries >> growthKb;
    EXPECT_EQ(entries, GetParam().entries) << seen;
    EXPECT_NE(seen.find(GetParam().error), std::string::npos) << seen;
    EXPECT_LT(growthKb, 32 * 1024) << seen;
    if (!GetParam().error.empty()) {
        EXPECT_FALSE(saveLaunchFile(file(), {kOldGame}));
        EXPECT_EQ(slurp(file()), GetParam().text) << "a file that did not load is not replaced";
    }
}

std::string repeatedLines(size_t lines, const std::string& line) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += line + "\r\n";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchLimits,
    testing::Values(LimitCase{"AtTheLimits", repeatedLines(7 * kLaunchMaxEntries, "12 bytes...."), "", 10000},
                    LimitCase{"OneEntryTooMany", repeatedLines(7 * kLaunchMaxEntries + 7, ""), "than 10000 entries", 0},
                    LimitCase{"LongName", std::string(4097, 'n') + repeatedLines(7, ""), "longer than 4096 bytes", 0},
                    LimitCase{"SixteenMegabytesOfBlankLines", repeatedLines(8 << 20, ""), "File too large", 0},
                    // Both were read as fewer entries, and the next save dropped the rest.
                    LimitCase{"NulByte", std::string("a\0b", 3) + repeatedLines(7, ""), "NUL byte on line 1", 0},
                    LimitCase{"LinesThatMakeNoWholeEntry", repeatedLines(15, "x"), "15 lines", 0}),
    [](const auto& info) { return info.param.name; });

// --- failed saves keep the old file ---

class FailedSave : public LaunchFile {
protected:
    void SetUp() override { spit(file(), old_); }
    void expectOldFileKept(const std::string& error, const char* prefix) {
        EXPECT_NE(error.find(prefix), std::string::npos) << error;
        EXPECT_GT(error.size(), std::string(prefix).size() + file().string().size() + 4) << "no reason: " << error;
        EXPECT_EQ(slurp(file()), old_);
        EXPECT_EQ(filesInDir(), 1u) << "a temporary file was left behind";
    }

    const std::string old_ = crlfLines(kExampleLines);
};

// A folder at the file's path stays; a folder path through a plain file or
// one that is missing makes nothing.
TEST_F(FailedSave, WhereNoFileCanBeCreated) {
    fs::remove(file());
    fs::create_directory(file());
    spit(dir() / "plain", "x");
    const std::pair<fs::path, std::string> cases[] = {
        {file(), "Cannot create file \"" + file().string() + "\". "},
        {dir() / "plain" / kLaunchFileName, "Cannot create file"},
        {dir() / "absent" / kLaunchFileName, "Cannot create file"},
    };
    for (const auto& [path, expected] : cases) {
        const std::string error = messageOf(saveLaunchFile(path, {kOldGame}));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(slurp(dir() / "plain"), "x");
    EXPECT_FALSE(fs::exists(dir() / "absent"));
}

TEST_F(FailedSave, DiskFullHalfWay) {
    const std::vector<LaunchEntry> entries(100, kSlowTool);
    const std::string error = inChild([&] { return messageOf(saveLaunchFile(file(), entries)); }, {}, 64);
    expectOldFileKept(error, "Cannot write file \"");
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
}

TEST_F(FailedSave, SaveWithinTheLimitStillWorks) {
    EXPECT_EQ(inChild([&] { return messageOf(saveLaunchFile(file(), {kOldGame})); }, {}, 4096), "");
    EXPECT_EQ(slurp(file()), formatLaunchText({kOldGame}));
}

// --- saves where the folder, the owner or a link is not the usual one ---

// Each case sets the folder's mode, the owner and mode of the file whose
// bytes matter (the launch list itself, or what a link as lentora.ini points
// at), and saves as root or as another user. The old text must stay where
// the save fails; the owner and mode of the file always stay.
enum class Link { None, PlantedByAnother, OwnToAnothersFile, OwnToOwnFile, ByFolderOwner };

struct SafeSaveCase {
    std::string name;
    mode_t folderMode;
    uid_t fileOwner;
    mode_t fileMode;
    Link link;
    bool asNobody;
    rlim_t fileSizeLimit;
    std::string error, loadError;  // "" when the save or the load works
};

void PrintTo(const SafeSaveCase& c, std::ostream* os) { *os << c.name; }

class SafeSave : public LaunchFile, public testing::WithParamInterface<SafeSaveCase> {};

void own(const fs::path& path, uid_t uid, mode_t mode) {
    if (lchown(path.c_str(), uid, uid) != 0 || (!fs::is_symlink(path) && chmod(path.c_str(), mode) != 0))
        ADD_FAILURE() << "cannot prepare " << path;
}

TEST_P(SafeSave, KeepsWhatMustBeKept) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user (uid 65534)";
    const SafeSaveCase& c = GetParam();
    const std::string old = crlfLines(kExampleLines);
    spit(file(), old);
    const bool byFolderOwner = c.link == Link::ByFolderOwner;
    own(dir(), byFolderOwner ? kNobody : 0, c.folderMode);
    fs::path kept = file();
    if (c.link != Link::None) {
        kept = dir() / "victim" / "precious.txt";
        fs::create_directory(kept.parent_path());
        fs::rename(file(), kept);
        fs::create_symlink(kept, file());
        own(file(), c.link == Link::PlantedByAnother || byFolderOwner ? kNobody : 0, 0);
    }
    own(kept, c.fileOwner, c.fileMode);
    const std::vector<LaunchEntry> entries(100, kSlowTool);
    const std::optional<uid_t> user = c.asNobody ? std::optional<uid_t>(kNobody) : std::nullopt;
    const std::string error =
        inChild([&] { return messageOf(saveLaunchFile(file(), entries)); }, user, c.fileSizeLimit);
    const std::string loadError = inChild([&] { return messageOf(loadLaunchFile(file())); }, user);

    EXPECT_EQ(error.empty(), c.error.empty()) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(slurp(kept), c.error.empty() ? formatLaunchText(entries) : old);
    struct stat after {};
    ASSERT_EQ(lstat(kept.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, c.fileOwner);
    EXPECT_EQ(after.st_mode & 07777, c.fileMode);
    EXPECT_EQ(fs::is_symlink(file()), c.link != Link::None);
    EXPECT_EQ(loadError.empty(), c.loadError.empty()) << loadError;
    EXPECT_NE(loadError.find(c.loadError), std::string::npos) << loadError;
}

constexpr rlim_t kNoLimit = RLIM_INFINITY;
INSTANTIATE_TEST_SUITE_P(
    Cases, SafeSave,
    testing::Values(
        SafeSaveCase{"FolderNotWritable", 0755, kNobody, 0644, Link::None, true, kNoLimit, "", ""},
        SafeSaveCase{"FolderNotWritableDiskFull", 0755, kNobody, 0644, Link::None, true, 64, "File too large", ""},
        SafeSaveCase{"AnotherUsersFile", 0755, kNobody, 0640, Link::None, false, kNoLimit, "", ""},
        SafeSaveCase{"ReadOnlyFile", 0755, 0, 0444, Link::None, false, kNoLimit, "Permission denied", ""},
        SafeSaveCase{"UnreadableFile", 0755, kNobody, 0200, Link::None, true, kNoLimit,
                     "It cannot be read (Permission denied)", "Permission denied"},
        SafeSaveCase{"LinkPlantedInASharedFolder", 01777, 0, 0644, Link::PlantedByAnother, false, kNoLimit,
                     "another user made", "another user made"},
        SafeSaveCase{"OwnLinkToAnotherUsersFile", 0755, kNobody, 0644, Link::OwnToAnothersFile, false, kNoLimit,
                     "belongs to another user", ""},
        SafeSaveCase{"OwnLinkToOwnFile", 0755, 0, 0644, Link::OwnToOwnFile, false, kNoLimit, "", ""},
        // Root overwrote its own file through the link of the folder's owner.
        SafeSaveCase{"FolderOwnersLinkToRootsFile", 0755, 0, 0644, Link::ByFolderOwner, false, kNoLimit, "not theirs",
                     ""},
        SafeSaveCase{"FolderOwnersLinkToTheirFile", 0755, kNobody, 0644, Link::ByFolderOwner, false, kNoLimit, "", ""}),
    [](const auto& info) { return info.param.name; });

// Three copies saving at once before the file existed lost entries in 9 of
// 20 trials: the lock was taken on the file, which the first save creates.
TEST_F(LaunchFile, FirstSavesOfSeveralCopiesKeepEveryEntry) {
    std::vector<pid_t> copies;
    for (const char* name : {"a", "b", "c"}) {
        if (const pid_t pid = fork(); pid != 0) {
            copies.push_back(pid);
            continue;
        }
        const auto saved = updateLaunchFile(file(), [&](std::vector<LaunchEntry> onDisk) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));  // every copy reads before one writes
            onDisk.push_back({name, "/bin/true", "50", "0", "0", "noclose", "notminimized"});
            return onDisk;
        });
        _exit(saved ? 0 : 1);
    }
    int status = 0;
    for (const pid_t pid : copies) EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0);
    EXPECT_EQ(entryCount(loadLaunchFile(file())), 3u);
    EXPECT_EQ(filesInDir(), 1u) << "the lock was left in the folder";
}

// Temporary files of a save that crashed go at the next save: only the
// program's own names, only the user's files, only stale ones.
TEST_F(LaunchFile, StaleLeftoversOfACrashedSaveAreRemoved) {
    const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const std::vector<std::pair<std::string, bool>> files{{".lentora.ini.AbC123", false},
                                                          {".lentora.ini.XyZ789", true},  // fresh: a save in progress
                                                          {".lentora.ini.Qq1234", geteuid() == 0},  // another user's
                                                          {"lentora.ini.backup", true}};
    for (const auto& [name, stays] : files) {
        spit(dir() / name, "x");
        if (name != ".lentora.ini.XyZ789") fs::last_write_time(dir() / name, hourAgo);
    }
    if (geteuid() == 0) own(dir() / ".lentora.ini.Qq1234", kNobody, 0600);
    ASSERT_TRUE(saveLaunchFile(file(), {kOldGame}));
    for (const auto& [name, stays] : files) EXPECT_EQ(fs::exists(dir() / name), stays) << name;
}

}  // namespace
