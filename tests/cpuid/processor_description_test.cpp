// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>

#include "fakes/fake_processor.h"
#include "processor_description.h"

using namespace cpuid;

namespace {

void expectModels(int32_t family, int32_t type, const std::vector<std::string>& byModel) {
    for (int32_t model = 0; model < 16; ++model)
        EXPECT_EQ(describeSignature(family, model, type), byModel[model])
            << "family " << family << " model " << model << " type " << type;
}

}  // namespace

TEST(SignatureDescription, Family4EveryModel) {
    const std::string n = "Intel 486";
    expectModels(4, 0,
                 {n + " DX", n + " DX", n + " SX", n + " DX2", n + " SL", n + " SX2", n, n + " DX2 WriteBack",
                  n + " DX4", n, n, n, n, n, n, n});
}

TEST(SignatureDescription, Family5EveryModel) {
    const std::string n = "Intel Pentium";
    expectModels(5, 0,
                 {n, n + " 60/66 Mhz", n + " 75-200 Mhz", n + " (486 - Pentuim)", n + " MMX 166/200 Mhz", n,
                  n + " (75,90,100,120,133)", n, n, n, n, n, n, n, n, n});
}

TEST(SignatureDescription, Family6EveryModel) {
    const std::string u = "Unknown Type";
    expectModels(6, 0,
                 {u, "Intel Pentium Pro", u, "Intel Pentium II", u, "Intel Pentium P6", u, u, u, u, u, u, u, u, u, u});
}

// Only type 1 is an overdrive: named before the model's suffix, and in
// family 6 after the name, an unknown one too. Cases: family, model, type.
TEST(SignatureDescription, OnlyTypeOneIsOverdriveNamedBeforeTheSuffix) {
    const std::pair<std::array<int32_t, 3>, const char*> cases[] = {
        {{4, 3, 1}, "Intel 486 Overdrive DX2"},
        {{5, 4, 1}, "Intel Pentium Overdrive MMX 166/200 Mhz"},
        {{5, 0, 1}, "Intel Pentium Overdrive"},
        {{6, 3, 1}, "Intel Pentium II Overdrive"},
        {{6, 8, 1}, "Unknown Type Overdrive"},
        {{6, 1, 1}, "Intel Pentium Pro Overdrive"},
        {{4, 2, 2}, "Intel 486 SX"},
        {{5, 1, 3}, "Intel Pentium 60/66 Mhz"},
        {{6, 5, 2}, "Intel Pentium P6"}};
    for (const auto& [s, description] : cases)
        EXPECT_EQ(describeSignature(s[0], s[1], s[2]), description) << s[0] << " " << s[1] << " " << s[2];
}

TEST(SignatureDescription, OtherFamiliesAreUnknownWithoutOverdrive) {
    for (int32_t family : {0, 1, 2, 3, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        for (int32_t type = 0; type < 4; ++type)
            for (int32_t model : {0, 1, 3, 5, 15})
                EXPECT_EQ(describeSignature(family, model, type), "Unknown Type")
                    << "family " << family << " model " << model << " type " << type;
}

struct ClassCase {
    bool is8086, is80286, is80386;
    const char* description;
};

// The three tests' answers: "passes101" for an 8086 and an 80386 but no 80286.
std::string className(const testing::TestParamInfo<ClassCase>& info) {
    return "passes" +
           std::to_string(1000 + 100 * info.param.is8086 + 10 * info.param.is80286 + info.param.is80386).substr(1);
}

class ProcessorClassDescription : public testing::TestWithParam<ClassCase> {};

TEST_P(ProcessorClassDescription, LastPositiveTestWins) {
    platform::FakeProcessor processor;
    processor.setClassTests(GetParam().is8086, GetParam().is80286, GetParam().is80386);
    EXPECT_EQ(DescribeProcessor(false, 5, 2, 0, processor), GetParam().description);
    // All three tests always run, in order.
    EXPECT_EQ(processor.calls(), (std::vector<std::string>{"8086", "80286", "80386"}));
}

INSTANTIATE_TEST_SUITE_P(AllOutcomes, ProcessorClassDescription,
                         testing::Values(ClassCase{false, false, false, "80486 Processor"},
                                         ClassCase{true, false, false, "8086/8088 Processor"},
                                         ClassCase{false, true, false, "80286 Processor"},
                                         ClassCase{false, false, true, "80386 Processor"},
                                         ClassCase{true, false, true, "80386 Processor"},
                                         ClassCase{true, true, false, "80286 Processor"},
                                         ClassCase{true, true, true, "80386 Processor"}),
                         className);

TEST(ProcessorDescription, WithCpuidTheClassTestsDoNotRun) {
    platform::FakeProcessor processor;
    processor.setClassTests(true, true, true);
    EXPECT_EQ(DescribeProcessor(true, 5, 6, 0, processor), "Intel Pentium (75,90,100,120,133)");
    EXPECT_TRUE(processor.calls().empty());
}
