// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store in its .reg file: typed values, case-insensitive names,
// damaged files, and writes that fail without harming the old file.
#include <platform/registry.h>

#include <gtest/gtest.h>

#include "fakes/fake_user_registry.h"
#include "file_text.h"
#include "temp_dir.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace fs = std::filesystem;
using platform::openRegFile;

namespace {

const std::string kKey = "software\\Halvix\\Lentora!!!";

class RegFileTest : public ::testing::Test {
protected:
    // Files other than the store itself, such as leftover temporaries.
    size_t filesBesideStore() const {
        size_t count = 0;
        for (const auto& entry : fs::directory_iterator(file_.parent_path())) count += entry.path() != file_;
        return count;
    }

    TempDir temp_{"reg"};
    const fs::path& dir_ = temp_.path();
    fs::path file_ = dir_ / "lentora" / "registry.reg";
};

// A failure with the system's error and its text.
void expectSystemReason(const platform::Result<>& outcome, int error) {
    const platform::Failure* failure = outcome.failure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, error);
    EXPECT_NE(failure->reason.find(std::strerror(error)), std::string::npos) << failure->reason;
}

TEST_F(RegFileTest, WritesRegeditFormatAndReadsItBack) {
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 42));
    ASSERT_TRUE(reg->writeString(kKey, "name", "hello world"));
    // Names compare without case and keep their first spelling.
    ASSERT_TRUE(reg->writeDword("Software\\HALVIX\\lentora!!!", "Bench", 42));

    EXPECT_EQ(slurp(file_),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n"
              "\"bench\"=dword:0000002a\n"
              "\"name\"=\"hello world\"\n\n");
    auto again = openRegFile(file_);
    EXPECT_EQ(again->readDword(kKey, "bench"), 42u);
    EXPECT_EQ(again->readString(kKey, "name"), "hello world");
    EXPECT_EQ(again->readDword(kKey, "missing"), std::nullopt);
    EXPECT_EQ(again->readDword("software\\Other", "bench"), std::nullopt);
}

// The memory store stands in for the file in the window's tests: both keep
// each value's type and compare names without case.
TEST_F(RegFileTest, FileAndMemoryStoresKeepEachValuesTypeAndIgnoreCase) {
    std::unique_ptr<platform::UserRegistry> stores[] = {openRegFile(file_), platform::fakeUserRegistry()};
    for (const auto& reg : stores) {
        EXPECT_EQ(reg->readDword(kKey, "bench"), std::nullopt);
        ASSERT_TRUE(reg->writeString(kKey, "bench", "1234"));
        EXPECT_EQ(reg->readDword(kKey, "bench"), std::nullopt);
        EXPECT_EQ(reg->readString(kKey, "bench"), "1234");
        ASSERT_TRUE(reg->writeDword("SOFTWARE\\HALVIX\\LENTORA!!!", "Bench", 0xffffffffu));
        EXPECT_EQ(reg->readString(kKey, "bench"), std::nullopt);
        EXPECT_EQ(reg->readDword(kKey, "BENCH"), 0xffffffffu);
    }
}

TEST_F(RegFileTest, EscapesBackslashesAndQuotes) {
    auto reg = openRegFile(file_);
    const std::string tricky = "C:\\old \"games\"\\=x";
    ASSERT_TRUE(reg->writeString(kKey, "a\"b\\c", tricky));
    EXPECT_NE(slurp(file_).find("\"a\\\"b\\\\c\"=\"C:\\\\old \\\"games\\\"\\\\=x\"\n"), std::string::npos);
    EXPECT_EQ(openRegFile(file_)->readString(kKey, "a\"b\\c"), tricky);
}

TEST_F(RegFileTest, ReadsAFileWrittenByHand) {
    fs::create_directories(file_.parent_path());
    spit(file_,
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\software\\Halvix\\Lentora!!!]\r\n"
         "\"bench\"=dword:00000007\r\n"
         "[hkey_current_user\\software\\Halvix\\Lentora!!!]\r\n"
         "\"bench\" = dword:0000ABCD\r\n"
         "@=\"default\"\r\n"
         "\"blob\"=hex:01,02\r\n");
    auto reg = openRegFile(file_);
    EXPECT_EQ(reg->readDword(kKey, "bench"), 0xabcdu);
    EXPECT_EQ(reg->readString(kKey, ""), "default");
    EXPECT_EQ(reg->readString(kKey, "blob"), std::nullopt);
    EXPECT_EQ(reg->readDword(kKey, "blob"), std::nullopt);
}

TEST_F(RegFileTest, CreateKeyMakesDirectoryAndSectionOnce) {
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->createKey(kKey));
    ASSERT_TRUE(reg->createKey("SOFTWARE\\Halvix\\Lentora!!!"));
    EXPECT_EQ(slurp(file_),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n\n");
}

TEST_F(RegFileTest, CreateKeyFailsWhereTheDirectoryCannotBeMade) {
    spit(dir_ / "lentora", "a file where the directory should be");
    auto reg = openRegFile(file_);
    EXPECT_FALSE(reg->createKey(kKey));
    EXPECT_FALSE(reg->writeDword(kKey, "bench", 1));
}

TEST_F(RegFileTest, GarbageReadsAsMissingAndIsReplacedByAWrite) {
    fs::create_directories(file_.parent_path());
    std::string garbage;
    uint32_t seed = 1;
    for (int i = 0; i < 4096; ++i) garbage += char((seed = seed * 134775813u + 1) >> 24);
    using namespace std::string_literals;
    garbage += "\n[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n\"bench\"=dword:\0\0\0\0000001\n"s;
    spit(file_, garbage);

    auto reg = openRegFile(file_);
    EXPECT_EQ(reg->readDword(kKey, "bench"), std::nullopt);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 5));
    EXPECT_EQ(reg->readDword(kKey, "bench"), 5u);
    EXPECT_EQ(slurp(file_).rfind(garbage.substr(0, 4096), 0), 0u) << "what is not understood is kept";
}

TEST_F(RegFileTest, TruncatedLinesReadAsMissingAndTheRestIsKept) {
    fs::create_directories(file_.parent_path());
    spit(file_,
         "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n"
         "\"kept\"=dword:00000001\n"
         "\"bench\"=dword:0000\n"
         "\"name\"=\"unterminated\n"
         "\"other\"=\"text\" junk\n"
         "[HKEY_CURRENT_USER\\software\\Halvix");
    auto reg = openRegFile(file_);
    EXPECT_EQ(reg->readDword(kKey, "bench"), std::nullopt);
    EXPECT_EQ(reg->readString(kKey, "name"), std::nullopt);
    EXPECT_EQ(reg->readString(kKey, "other"), std::nullopt);

    ASSERT_TRUE(reg->writeDword(kKey, "bench", 9));
    EXPECT_EQ(reg->readDword(kKey, "kept"), 1u);
    EXPECT_EQ(reg->readDword(kKey, "bench"), 9u);
}

TEST_F(RegFileTest, HugeFileIsReadOnlyAsFarAsTheLimit) {
    fs::create_directories(file_.parent_path());
    std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\software\\Halvix\\Lentora!!!]\n"
        "\"first\"=dword:00000001\n";
    const std::string junk = "\"junk\"=\"" + std::string(1000, 'x') + "\"\n";
    while (text.size() < 5 * 1024 * 1024) text += junk;
    text += "\"last\"=dword:00000002\n";
    spit(file_, text);

    auto reg = openRegFile(file_);
    EXPECT_EQ(reg->readDword(kKey, "first"), 1u);
    EXPECT_EQ(reg->readDword(kKey, "last"), std::nullopt);
    // Rewriting it would lose what lies beyond the limit.
    expectSystemReason(reg->writeDword(kKey, "bench", 3), EFBIG);
    EXPECT_EQ(slurp(file_), text);
}

// A write cut short (as on a full disk) fails with the system's reason and
// leaves the old file as it was.
TEST_F(RegFileTest, FailedWriteKeepsTheOldFile) {
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 42));
    const std::string before = slurp(file_);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = before.size() + 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failure = reg->writeString(kKey, "long", std::string(4096, 'y'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    expectSystemReason(failure, EFBIG);
    EXPECT_EQ(slurp(file_), before);
    EXPECT_EQ(filesBesideStore(), 0u);
    EXPECT_EQ(reg->readDword(kKey, "bench"), 42u);
}

TEST_F(RegFileTest, StoreInPlaceOfADirectoryFailsAndKeepsIt) {
    fs::create_directories(file_ / "inside");
    auto reg = openRegFile(file_);
    EXPECT_FALSE(reg->writeDword(kKey, "bench", 1));
    EXPECT_TRUE(fs::is_directory(file_ / "inside"));
    EXPECT_EQ(reg->readDword(kKey, "bench"), std::nullopt);
}

TEST_F(RegFileTest, ReadOnlyDirectoryFailsTheWrite) {
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 42));
    const std::string before = slurp(file_);
    chmod(file_.parent_path().c_str(), 0555);
    if (access(file_.parent_path().c_str(), W_OK) == 0) GTEST_SKIP() << "this user may write to a read-only directory";
    expectSystemReason(reg->writeDword(kKey, "bench", 7), EACCES);
    EXPECT_EQ(slurp(file_), before);
}

TEST_F(RegFileTest, LineBreaksAreRefusedRatherThanCorruptingTheFile) {
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 42));
    EXPECT_FALSE(reg->writeString(kKey, "name", "two\nlines"));
    EXPECT_FALSE(reg->writeDword(kKey, "new\nline", 1));
    EXPECT_EQ(reg->readDword(kKey, "bench"), 42u);
}

// Lines the program does not own stay byte for byte: comments, values of
// other types (a multi-line one too), other keys, CR LF line ends. The store
// is kept elsewhere behind the user's link, which stays; a stale temporary
// file of a crashed write beside it goes.
TEST_F(RegFileTest, WritesChangeOnlyTheirOwnLines) {
    const fs::path real = dir_ / "dotfiles" / "registry.reg", leftover = dir_ / "dotfiles" / ".registry.reg.AbC123";
    fs::create_directories(real.parent_path());
    fs::create_directories(file_.parent_path());
    fs::create_symlink(real, file_);
    spit(leftover, "half");
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const std::string head =
        "Windows Registry Editor Version 5.00\r\n\r\n; kept as written\r\n[HKEY_CURRENT_USER"
        "\\software\\Other]\r\n\"bench\"=dword:00000009\r\n\r\n[HKEY_CURRENT_USER\\" +
        kKey + "]\r\n\"blob\"=hex:01,02,\\\r\n  03,04\r\n\"path\"=hex(2):25,00,00,00\r\n";
    const std::string tail = "\"big\"=hex(b):00,00,00,00,00,00,00,00\r\n";
    spit(file_, head + "\"bench\" = dword:00000001\r\n" + tail);
    auto reg = openRegFile(file_);
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 42));
    EXPECT_EQ(slurp(file_), head + "\"bench\" = dword:0000002a\r\n" + tail);
    ASSERT_TRUE(reg->writeString(kKey, "new", "v"));
    ASSERT_TRUE(reg->writeDword("software\\Third", "n", 1));
    EXPECT_EQ(slurp(file_), head + "\"bench\" = dword:0000002a\r\n" + tail + "\"new\"=\"v\"\r\n" +
                                "[HKEY_CURRENT_USER\\software\\Third]\r\n\"n\"=dword:00000001\r\n\r\n");
    EXPECT_EQ(reg->readDword("software\\Other", "bench"), 9u);
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_FALSE(fs::exists(leftover));
}

class EnvVar {
public:
    explicit EnvVar(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) saved_ = v;
    }
    ~EnvVar() {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(DefaultUserRegistryPath, FollowsXdgConfigHomeThenHome) {
    EnvVar xdg("XDG_CONFIG_HOME"), home("HOME");
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(platform::defaultUserRegistryPath(), "/cfg/lentora/registry.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::defaultUserRegistryPath(), "/home/someone/.config/lentora/registry.reg");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(platform::defaultUserRegistryPath(), "/home/someone/.config/lentora/registry.reg");
}

TEST(FakeUserRegistry, FailingWritesReportAReasonAndChangeNothing) {
    auto reg = platform::fakeUserRegistry();
    ASSERT_TRUE(reg->writeDword(kKey, "bench", 1));
    reg->setFailWrites(true);
    EXPECT_TRUE(reg->createKey(kKey));  // an existing key opens without a write
    EXPECT_FALSE(reg->createKey("software\\new"));
    EXPECT_FALSE(reg->writeDword(kKey, "bench", 2));
    EXPECT_EQ(reg->readDword(kKey, "bench"), 1u);
    reg->setFailWrites(false);
    EXPECT_TRUE(reg->writeDword(kKey, "bench", 2));
    EXPECT_EQ(reg->readDword(kKey, "bench"), 2u);

    EXPECT_FALSE(platform::fakeUserRegistry(true)->writeString(kKey, "bench", "x"));
}

}  // namespace
