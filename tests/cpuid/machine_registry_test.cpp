// SPDX-License-Identifier: GPL-3.0-or-later
// The machine's processor key: the view of a cpuinfo file and the fake.
#include <gtest/gtest.h>

#include <fstream>

#include "fakes/fake_machine_registry.h"
#include "platform/registry.h"
#include "temp_dir.h"

namespace {

class CpuinfoRegistry : public testing::Test {
protected:
    TempDir dir{"cpuinfo"};

    std::unique_ptr<platform::MachineRegistry> viewOf(const std::string& text) {
        auto file = dir / "cpuinfo";
        std::ofstream(file) << text;
        return platform::cpuinfoRegistry(file);
    }
};

std::string block(int processor, const std::string& mhzLine) {
    return "processor\t: " + std::to_string(processor) +
           "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 167\n" + mhzLine + "cache size\t: 16384 KB\n\n";
}

}  // namespace

// The first processor's figure rounded to the nearest whole; without a
// figure of its own (another processor's does not stand in) or with one
// that cannot be read, there is no key.
TEST_F(CpuinfoRegistry, FirstProcessorsMhzRoundedToTheNearestWhole) {
    const std::pair<std::string, std::optional<uint32_t>> cases[] = {
        {block(0, "cpu MHz\t\t: 2994.574\n") + block(1, "cpu MHz\t\t: 800.000\n"), 2995},
        {block(0, "cpu MHz\t\t: 2994.374\n"), 2994},
        {block(0, "cpu MHz\t\t: 0.000\n"), 0},
        {block(0, "") + block(1, "cpu MHz\t\t: 1200.000\n"), std::nullopt},
        {block(0, "cpu MHz\t\t: fast\n"), std::nullopt},
        {block(0, "cpu MHz\t\t: 2994,374\n"), std::nullopt},
        {block(0, "cpu MHz\t\t: 99999999999\n"), std::nullopt},
        {block(0, "cpu MHz\t\t: -5\n"), std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, mhz] : cases) {
        auto key = viewOf(text);
        EXPECT_EQ(key->openProcessorKey(), mhz.has_value()) << text;
        EXPECT_EQ(key->readDword("~MHz"), mhz) << text;
        key->closeKey();
    }
}

TEST_F(CpuinfoRegistry, OnlyTheExactNameIsAValue) {
    auto key = viewOf(block(0, "cpu MHz\t\t: 450.000\n"));
    ASSERT_TRUE(key->openProcessorKey());
    EXPECT_EQ(key->readDword("~Mhz"), std::nullopt);
    EXPECT_EQ(key->readDword("~mhz"), std::nullopt);
    EXPECT_EQ(key->readDword("Identifier"), std::nullopt);
}

TEST_F(CpuinfoRegistry, MissingFileMeansNoKey) {
    auto key = platform::cpuinfoRegistry(dir / "absent");
    EXPECT_FALSE(key->openProcessorKey());
}

TEST_F(CpuinfoRegistry, ValuesAreReadableOnlyWhileTheKeyIsOpen) {
    auto key = viewOf(block(0, "cpu MHz\t\t: 450.000\n"));
    EXPECT_EQ(key->readDword("~MHz"), std::nullopt);
    ASSERT_TRUE(key->openProcessorKey());
    key->closeKey();
    EXPECT_EQ(key->readDword("~MHz"), std::nullopt);
}

TEST(CpuinfoRegistryOfThisMachine, AgreesWithTheKernelsFigure) {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    std::optional<double> mhz;
    while (std::getline(in, line) && !mhz)
        if (line.rfind("cpu MHz", 0) == 0) mhz = std::stod(line.substr(line.find(':') + 1));
    auto key = platform::cpuinfoRegistry();
    if (!mhz) GTEST_SKIP() << "the kernel gives no cpu MHz here";
    ASSERT_TRUE(key->openProcessorKey());
    auto value = key->readDword("~MHz");
    ASSERT_TRUE(value);
    EXPECT_NEAR(double(*value), *mhz, 0.5);
}

TEST(FakeMachineRegistry, WithoutValuesTheKeyCannotBeOpened) {
    auto key = platform::fakeMachineRegistry(std::nullopt);
    EXPECT_FALSE(key->openProcessorKey());
    EXPECT_EQ(key->readDword("~MHz"), std::nullopt);
}

TEST(FakeMachineRegistry, GivesTheMappedValuesByExactName) {
    auto key = platform::fakeMachineRegistry(std::map<std::string, uint32_t>{{"~MHz", 0}, {"~Mhz", 300}});
    ASSERT_TRUE(key->openProcessorKey());
    EXPECT_EQ(key->readDword("~MHz"), 0u);
    EXPECT_EQ(key->readDword("~Mhz"), 300u);
    EXPECT_EQ(key->readDword("~mhz"), std::nullopt);
    key->closeKey();
    EXPECT_EQ(key->readDword("~Mhz"), std::nullopt);
}
