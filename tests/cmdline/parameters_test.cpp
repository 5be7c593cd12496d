// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/parameters.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

using namespace cmdline;

namespace {

struct ParseCase {
    std::string name{};
    std::vector<std::string> params{};
    bool ok = true;
    CommandLineSettings expected{};  // the settings after the parse
    bool unknownOnEntry = false;
    double speed = 450.0;
    int refusals = 0;  // message boxes about "/VIRTSPEED"
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class Parse : public testing::TestWithParam<ParseCase> {};

TEST_P(Parse, GivesSettings) {
    const ParseCase& c = GetParam();
    CommandLineSettings settings;
    settings.processorUnknown = c.unknownOnEntry;
    int refusals = 0;
    const bool ok = parameters(
                        c.params, settings, c.speed, [&] { ++refusals; }, 98)
                        .empty();

    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(refusals, c.refusals);
    EXPECT_EQ(settings.processorUnknown, c.expected.processorUnknown);
    EXPECT_EQ(settings.minimize, c.expected.minimize);
    EXPECT_EQ(settings.close, c.expected.close);
    EXPECT_EQ(settings.waitSeconds, c.expected.waitSeconds);
    EXPECT_EQ(settings.runForSeconds, c.expected.runForSeconds);
    EXPECT_EQ(settings.factor, c.expected.factor);
    EXPECT_EQ(settings.application, c.expected.application);
}

std::string caseName(const testing::TestParamInfo<ParseCase>& info) { return info.param.name; }

const CommandLineSettings defaults{};

INSTANTIATE_TEST_SUITE_P(
    Basics, Parse,
    testing::Values(ParseCase{.name = "NoParameters", .params = {}},
                    ParseCase{.name = "LowerCaseSwitchesAndPath",
                              .params = {"/minimize", "/close", "c:\\games\\run.exe"},
                              .expected = {.minimize = true, .close = true, .application = "c:\\games\\run.exe "}},
                    ParseCase{.name = "SwitchesWithoutApplication",
                              .params = {"/CLOSE", "/MINIMIZE"},
                              .expected = {.minimize = true, .close = true}},
                    ParseCase{.name = "ApplicationKeepsItsCase",
                              .params = {"/Speed=5", "C:\\Games\\Run.EXE"},
                              .expected = {.factor = 5, .application = "C:\\Games\\Run.EXE "}},
                    ParseCase{
                        .name = "ApplicationArguments",
                        .params = {"/SPEED=60", "/WAIT=5", "/CLOSE", "APP.EXE", "-x", "y"},
                        .expected = {.close = true, .waitSeconds = 5, .factor = 60, .application = "APP.EXE -x y "}},
                    ParseCase{.name = "UnquotedPathWithBlanks",
                              .params = {"/SPEED=50", "C:\\OLD", "GAMES\\RUN.EXE"},
                              .expected = {.factor = 50, .application = "C:\\OLD GAMES\\RUN.EXE "}},
                    ParseCase{.name = "NonAsciiBytesKept",
                              .params = {"/SPEED=5", "sp\xC3\xA9l.exe"},
                              .expected = {.factor = 5, .application = "sp\xC3\xA9l.exe "}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ValueOptions, Parse,
    testing::Values(
        ParseCase{.name = "Speed98", .params = {"/SPEED=98", "A"}, .expected = {.factor = 98, .application = "A "}},
        ParseCase{.name = "Speed0", .params = {"/SPEED=0", "A"}, .expected = {.factor = 0, .application = "A "}},
        ParseCase{.name = "Speed99", .params = {"/SPEED=99", "A"}, .ok = false},
        ParseCase{.name = "SpeedMinus1", .params = {"/SPEED=-1", "A"}, .ok = false},
        ParseCase{.name = "Wait0", .params = {"/WAIT=0"}, .expected = {.waitSeconds = 0}},
        ParseCase{.name = "WaitMinus1", .params = {"/WAIT=-1"}, .ok = false},
        ParseCase{.name = "RunFor30", .params = {"/RUNFOR=30"}, .expected = {.runForSeconds = 30}},
        ParseCase{.name = "RunForMinus1", .params = {"/RUNFOR=-1"}, .ok = false},
        ParseCase{.name = "HexDollar", .params = {"/SPEED=$20"}, .expected = {.factor = 32}},
        ParseCase{.name = "HexZeroX", .params = {"/speed=0x1f"}, .expected = {.factor = 31}},
        ParseCase{.name = "HexX", .params = {"/WAIT=x10"}, .expected = {.waitSeconds = 16}},
        ParseCase{.name = "TrailingLetters", .params = {"/SPEED=50ABC"}, .expected = {.factor = 50}},
        ParseCase{.name = "EmptyValue", .params = {"/SPEED=", "/WAIT=ABC"}, .expected = {}},
        ParseCase{.name = "BlanksBeforeValue", .params = {"/SPEED=  7"}, .expected = {.factor = 7}},
        ParseCase{.name = "ValueAfterFirstEquals",
                  .params = {"/WAITLONG=5", "/RUNFOR=2=3"},
                  .expected = {.waitSeconds = 5, .runForSeconds = 2}},
        ParseCase{.name = "OptionInsideParameter",
                  .params = {"X/WAIT=5", "A"},
                  .expected = {.waitSeconds = 5, .application = "A "}},
        ParseCase{.name = "HugeWaitSaturates", .params = {"/WAIT=99999999999"}, .expected = {.waitSeconds = INT32_MAX}},
        ParseCase{.name = "HugeNegativeWaitRejected", .params = {"/WAIT=-99999999999"}, .ok = false},
        ParseCase{.name = "SpeedBeyond32BitsDoesNotWrap", .params = {"/SPEED=4294967346"}, .ok = false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    NotOptions, Parse,
    testing::Values(ParseCase{.name = "MinimizeWithValue", .params = {"/MINIMIZE=1"}, .ok = false},
                    ParseCase{.name = "CloseAll", .params = {"/CLOSEALL"}, .ok = false},
                    ParseCase{.name = "Help", .params = {"/HELP"}, .ok = false},
                    ParseCase{.name = "SlashAlone", .params = {"/"}, .ok = false},
                    ParseCase{.name = "WaitWithoutEquals", .params = {"/WAIT"}, .ok = false},
                    ParseCase{.name = "UnknownSwitchAfterApplication", .params = {"APP.EXE", "/X"}, .ok = false},
                    ParseCase{.name = "RejectedValueDoesNotLeak",
                              .params = {"A", "X/SPEED=99"},
                              .expected = {.application = "A X/SPEED=99 "}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Order, Parse,
    testing::Values(ParseCase{.name = "FirstSpeedWins",
                              .params = {"/SPEED=10", "/SPEED=20", "APP.EXE"},
                              .expected = {.factor = 10, .application = "APP.EXE "}},
                    ParseCase{.name = "VirtspeedBeforeSpeedWins",
                              .params = {"/VIRTSPEED=300", "/SPEED=20", "APP.EXE"},
                              .expected = {.factor = 34, .application = "APP.EXE "}},
                    ParseCase{.name = "ApplicationBeforeOption", .params = {"RUN.EXE", "/SPEED=50"}, .ok = false},
                    ParseCase{.name = "FailureResetsEverything",
                              .params = {"/MINIMIZE", "/CLOSE", "/WAIT=3", "/RUNFOR=4", "/SPEED=5", "/HELP", "APP.EXE"},
                              .ok = false}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Virtspeed, Parse,
    testing::Values(
        ParseCase{.name = "Target300",
                  .params = {"/VIRTSPEED=300", "APP.EXE"},
                  .expected = {.factor = 34, .application = "APP.EXE "}},
        ParseCase{.name = "Target100", .params = {"/VIRTSPEED=100"}, .expected = {.factor = 78}},
        ParseCase{.name = "Target449", .params = {"/VIRTSPEED=449"}, .expected = {.factor = 1}},
        ParseCase{.name = "Target4", .params = {"/VIRTSPEED=4"}, .expected = {.factor = 100}},
        ParseCase{.name = "Target0", .params = {"/VIRTSPEED=0"}, .expected = {.factor = 100}},
        ParseCase{.name = "Target450", .params = {"/VIRTSPEED=450", "APP.EXE"}, .ok = false},
        ParseCase{.name = "NegativeTarget", .params = {"/VIRTSPEED=-1"}, .ok = false},
        ParseCase{.name = "SpeedUnknown", .params = {"/VIRTSPEED=1"}, .ok = false, .speed = 0.0},
        ParseCase{.name = "FractionalSpeed", .params = {"/VIRTSPEED=450"}, .expected = {.factor = 1}, .speed = 450.5},
        ParseCase{.name = "ProductDoesNotWrap",
                  .params = {"/VIRTSPEED=2000000000"},
                  .expected = {.factor = 34},
                  .speed = 3e9},
        ParseCase{.name = "ProcessorUnknown",
                  .params = {"/VIRTSPEED=300", "APP.EXE"},
                  .ok = false,
                  .expected = {.processorUnknown = true},
                  .unknownOnEntry = true,
                  .refusals = 1},
        ParseCase{.name = "EachRefusalReported",
                  .params = {"/VIRTSPEED=1", "/VIRTSPEED=2"},
                  .ok = false,
                  .expected = {.processorUnknown = true},
                  .unknownOnEntry = true,
                  .refusals = 2},
        ParseCase{.name = "NoCpuidAfterVirtspeed",
                  .params = {"/VIRTSPEED=300", "/NOCPUID", "APP.EXE"},
                  .ok = false,
                  .refusals = 1},
        ParseCase{.name = "NoCpuidBeforeVirtspeed",
                  .params = {"/NOCPUID", "/VIRTSPEED=300", "APP.EXE"},
                  .expected = {.processorUnknown = true, .factor = 34, .application = "APP.EXE "}},
        ParseCase{.name = "WithoutEqualsNoMessage",
                  .params = {"/VIRTSPEED"},
                  .ok = false,
                  .expected = {.processorUnknown = true},
                  .unknownOnEntry = true}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ProcessorUnknownFlag, Parse,
    testing::Values(ParseCase{.name = "KeptOnSuccess",
                              .params = {"APP"},
                              .expected = {.processorUnknown = true, .application = "APP "},
                              .unknownOnEntry = true},
                    ParseCase{.name = "KeptOnFailure",
                              .params = {"/HELP"},
                              .ok = false,
                              .expected = {.processorUnknown = true},
                              .unknownOnEntry = true},
                    ParseCase{.name = "NoCpuidUndoneOnFailure", .params = {"/NOCPUID", "/HELP"}, .ok = false},
                    ParseCase{.name = "NoCpuidSets", .params = {"/nocpuid"}, .expected = {.processorUnknown = true}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    LinuxPaths, Parse,
    testing::Values(
        ParseCase{.name = "AbsolutePathWithArgument",
                  .params = {"/SPEED=60", "/CLOSE", "/usr/games/foo", "--fast"},
                  .expected = {.close = true, .factor = 60, .application = "/usr/games/foo --fast "}},
        ParseCase{.name = "PathBeforeOption", .params = {"/usr/games/foo", "/SPEED=60"}, .ok = false},
        ParseCase{.name = "RootDirectoryProgram", .params = {"//foo"}, .expected = {.application = "//foo "}},
        ParseCase{.name = "PathLookingLikeOption",
                  .params = {"/usr/bin/WAIT=5"},
                  .expected = {.application = "/usr/bin/WAIT=5 "}},
        ParseCase{.name = "PathArgumentAfterApplication",
                  .params = {"/bin/cat", "/etc/hosts"},
                  .expected = {.application = "/bin/cat /etc/hosts "}},
        ParseCase{.name = "RelativePathHoldingSpeed",
                  .params = {"/SPEED=3", "games/SPEED/run"},
                  .expected = {.factor = 3, .application = "games/SPEED/run "}},
        ParseCase{.name = "ForwardSlashWindowsPath",
                  .params = {"C:/TOOLS/WAIT.EXE"},
                  .expected = {.application = "C:/TOOLS/WAIT.EXE "}},
        ParseCase{
            .name = "SwitchWithSlashInValue", .params = {"/SPEED=60/x"}, .expected = {.application = "/SPEED=60/x "}}),
    caseName);

TEST(ParseCallback, EmptyCallbackIsAllowed) {
    CommandLineSettings settings;
    settings.processorUnknown = true;
    EXPECT_EQ(parameters({"/VIRTSPEED=5"}, settings, 450.0, {}, 98).size(), 1u);
    EXPECT_TRUE(settings.processorUnknown);
}

TEST(ParseReset, EarlierSettingsDoNotSurvive) {
    CommandLineSettings settings{
        .minimize = true, .close = true, .waitSeconds = 9, .runForSeconds = 9, .factor = 9, .application = "OLD "};
    EXPECT_TRUE(parameters({"NEW"}, settings, 450.0, {}, 98).empty());
    EXPECT_FALSE(settings.minimize);
    EXPECT_FALSE(settings.close);
    EXPECT_EQ(settings.waitSeconds, 0);
    EXPECT_EQ(settings.runForSeconds, 0);
    EXPECT_EQ(settings.factor, 0);
    EXPECT_EQ(settings.application, "NEW ");
}

}  // namespace

TEST(QuotedParameters, AParameterWithBlanksStaysOneArgumentOfTheApplication) {
    CommandLineSettings settings;
    ASSERT_TRUE(parameters({"/SPEED=10", "/opt/old games/run", "a", "b c"}, settings, 0.0, nullptr, 98).empty());
    EXPECT_EQ(settings.application, "\"/opt/old games/run\" a \"b c\" ");
    EXPECT_EQ(settings.arguments, (std::vector<std::string>{"/opt/old games/run", "a", "b c"}));
}

// Standard error names each parameter the parse refused, in command-line order.
TEST(Rejections, NameEachRefusedParameterAndWhy) {
    CommandLineSettings settings;
    const std::vector<RejectedParameter> rejected =
        parameters({"prog", "/SPEED=50", "/SPEED=99", "/BOGUS", "app"}, settings, 0.0, nullptr, 98);
    ASSERT_EQ(rejected.size(), 3u);
    EXPECT_EQ(rejected[0].parameter, "prog");
    EXPECT_EQ(rejected[0].reason, "the program and its arguments must come after the options");
    EXPECT_EQ(rejected[1].parameter, "/SPEED=99");
    EXPECT_EQ(rejected[1].reason, "the value is not accepted");
    EXPECT_EQ(rejected[2].parameter, "/BOGUS");
    EXPECT_EQ(rejected[2].reason, "not an option");
}

TEST(Unattended, AStartThatNamesAProgramOrAsksToCloseOrMinimizeRunsByItself) {
    EXPECT_TRUE(startsUnattended({"/SPEED=5", "game"}));
    EXPECT_TRUE(startsUnattended({"/usr/games/foo"}));
    EXPECT_TRUE(startsUnattended({"/close"}));
    EXPECT_TRUE(startsUnattended({"/Minimize", "/SPEED=99"}));
    EXPECT_FALSE(startsUnattended({}));
    EXPECT_FALSE(startsUnattended({"/SPEED=5"}));
}
