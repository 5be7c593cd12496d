// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/status_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace cmdline;

namespace {

struct StatusCase {
    std::string name{};
    bool parsedOk = false;
    CommandLineSettings settings{};
    std::string text{};
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }

class StatusText : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusText, Composes) {
    EXPECT_EQ(startupStatusText(GetParam().parsedOk, GetParam().settings), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, StatusText,
    testing::Values(
        StatusCase{"Error", false, {.application = "A "}, "Error in command line parameters"},
        StatusCase{"NoApplication", true, {.minimize = true, .factor = 50}, ""},
        StatusCase{"RunForever", true, {.application = "A "}, "runforever   wait:0   speed:0   APP:A "},
        StatusCase{
            "RunFor30", true, {.runForSeconds = 30, .application = "A "}, "runfor:30   wait:0   speed:0   APP:A "},
        StatusCase{"AllParts",
                   true,
                   {.minimize = true,
                    .close = true,
                    .waitSeconds = 5,
                    .runForSeconds = 60,
                    .factor = 50,
                    .application = "run.exe x "},
                   "minimize   close   runfor:60   wait:5   speed:50   APP:run.exe x "},
        StatusCase{"MinimizeWithoutClose",
                   true,
                   {.minimize = true, .waitSeconds = 5, .runForSeconds = 60, .factor = 50, .application = "B "},
                   "minimize   runfor:60   wait:5   speed:50   APP:B "},
        StatusCase{"ComputedFactorShownUnclamped",
                   true,
                   {.factor = 100, .application = "A "},
                   "runforever   wait:0   speed:100   APP:A "},
        StatusCase{"NegativeNumber",
                   true,
                   {.waitSeconds = -3, .application = "A "},
                   "runforever   wait:-3   speed:0   APP:A "}),
    [](const auto& info) { return info.param.name; });

}  // namespace
