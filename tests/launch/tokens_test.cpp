// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/tokens.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace launch;

namespace {

struct TokenCase {
    std::string token;
    bool launchCloses, dialogCloses, launchMinimizes, dialogMinimizes;
};

std::string tokenName(const testing::TestParamInfo<TokenCase>& info) {
    return info.param.token.empty() ? "empty" : std::regex_replace(info.param.token, std::regex(" "), "_");
}

class TokenReading : public testing::TestWithParam<TokenCase> {};

TEST_P(TokenReading, LaunchAndDialog) {
    const TokenCase& c = GetParam();
    EXPECT_EQ(launchCloses(c.token), c.launchCloses);
    EXPECT_EQ(dialogClosesChecked(c.token), c.dialogCloses);
    EXPECT_EQ(launchMinimizes(c.token), c.launchMinimizes);
    EXPECT_EQ(dialogMinimizeChecked(c.token), c.dialogMinimizes);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, TokenReading,
    testing::Values(TokenCase{"close", true, true, false, true}, TokenCase{"noclose", false, false, false, true},
                    TokenCase{"minimized", false, false, true, true},
                    TokenCase{"notminimized", false, false, false, false},
                    // Exact and case-sensitive: anything else is unknown, and for an
                    // unknown minimize token the dialog checks the box while the
                    // launch does not minimize.
                    TokenCase{"Close", false, false, false, true}, TokenCase{"close ", false, false, false, true},
                    TokenCase{"Minimized", false, false, false, true},
                    TokenCase{"NOTMINIMIZED", false, false, false, true},
                    TokenCase{"notminimized ", false, false, false, true}, TokenCase{"", false, false, false, true}),
    tokenName);

}  // namespace
