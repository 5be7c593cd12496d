// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged per-user stores that a user, another program or a broken disk may
// leave behind: each must read in bounded time, count as missing where it
// cannot be understood, and take a new value.
#include <platform/registry.h>

#include <gtest/gtest.h>

#include "file_text.h"
#include "temp_dir.h"

#include <unistd.h>
#include <chrono>

namespace fs = std::filesystem;

namespace {

const std::string kKey = "software\\Halvix\\Lentora!!!";
const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

class StoreFaults : public ::testing::Test {
protected:
    // Seconds that reading "bench", storing it and reading it back take.
    double readWriteRead(uint32_t value) {
        const auto start = std::chrono::steady_clock::now();
        auto store = platform::openRegFile(file_);
        EXPECT_EQ(store->readDword(kKey, "bench"), std::nullopt);
        EXPECT_TRUE(store->writeDword(kKey, "bench", value));
        EXPECT_EQ(store->readDword(kKey, "bench"), value);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    TempDir temp_{"storefault"};
    fs::path file_ = temp_ / "registry.reg";
};

// A megabyte of distinct value names once took some 17 seconds per read,
// and the store is read at every access: the program hung at start-up. The
// three accesses take well under a second now; the bound leaves room for a
// busy machine and the sanitizers' unoptimised build.
TEST_F(StoreFaults, TensOfThousandsOfValuesReadInBoundedTime) {
    std::string text = kHeader + "[HKEY_CURRENT_USER\\" + kKey + "]\n";
    for (int i = 0; text.size() < (1u << 20) - 64; ++i) text += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
    spit(file_, text);
    EXPECT_LT(readWriteRead(400), 20.0);
    EXPECT_EQ(platform::openRegFile(file_)->readDword(kKey, "v40000"), 1u) << "the other values are kept";
}

// Written back, such a store grew past what is read, so the new value at its
// end was lost while the write reported success. Now the write fails.
TEST_F(StoreFaults, StoreThatWouldGrowPastTheReadLimitRefusesTheWrite) {
    std::string text = kHeader;
    for (int i = 0; text.size() < (1u << 20) - 64; ++i) text += "[HKEY_CURRENT_USER\\k" + std::to_string(i) + "]\n";
    spit(file_, text);
    const auto start = std::chrono::steady_clock::now();
    auto store = platform::openRegFile(file_);
    EXPECT_EQ(store->readDword(kKey, "bench"), std::nullopt);
    const auto failure = store->writeDword(kKey, "bench", 401).failure();
    ASSERT_NE(failure, std::nullopt);
    EXPECT_NE(failure->reason.find("File too large"), std::string::npos) << failure->reason;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_EQ(slurp(file_), text);
}

TEST_F(StoreFaults, ValueNamesDifferingInCaseOnlyAreOneValue) {
    spit(file_, kHeader + "[HKEY_CURRENT_USER\\" + kKey + "]\n\"BENCH\"=dword:00000001\n[hkey_current_user\\" + kKey +
                    "]\n\"Bench\"=dword:00000002\n");
    auto store = platform::openRegFile(file_);
    EXPECT_EQ(store->readDword(kKey, "bench"), 2u);
    ASSERT_TRUE(store->writeDword(kKey, "bEnCh", 3));
    EXPECT_EQ(slurp(file_), kHeader + "[HKEY_CURRENT_USER\\" + kKey + "]\n\"BENCH\"=dword:00000001\n" +
                                "[hkey_current_user\\" + kKey + "]\n\"Bench\"=dword:00000003\n")
        << "the line read is the line written, in its own spelling; the rest is kept";
}

TEST_F(StoreFaults, NulBytesAndAnEndWithoutLineBreakReadAsMissing) {
    using namespace std::string_literals;
    spit(file_, kHeader + "[HKEY_CURRENT_USER\\" + kKey + "]\n\"bench\"=dword:000\0\0190\n\"kept\"=dword:00000007"s);
    auto store = platform::openRegFile(file_);
    EXPECT_EQ(store->readDword(kKey, "bench"), std::nullopt);
    EXPECT_EQ(store->readDword(kKey, "kept"), 7u);
}

}  // namespace
