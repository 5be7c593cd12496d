// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdline/int_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <optional>
#include <string>

using namespace cmdline;

namespace {

struct IntCase {
    std::string text;
    int32_t lenient;
    std::optional<int32_t> strict;
};

class IntText : public testing::TestWithParam<IntCase> {};

TEST_P(IntText, Converts) {
    const IntCase& c = GetParam();
    EXPECT_EQ(lenientInt(c.text), c.lenient) << '"' << c.text << '"';
    EXPECT_EQ(strictInt(c.text), c.strict) << '"' << c.text << '"';
}

const std::optional<int32_t> none;

// The text spelled in letters and digits: "-$10" is minusdollar10, "" empty.
std::string caseName(const testing::TestParamInfo<IntCase>& info) {
    const std::map<char, const char*> words{{' ', "_"},      {'\t', "tab"}, {'+', "plus"},  {'-', "minus"},
                                            {'$', "dollar"}, {'.', "dot"},  {'=', "equals"}};
    std::string name = info.param.text.empty() ? "empty" : "";
    for (char c : info.param.text) name += words.count(c) ? words.at(c) : std::string(1, c);
    return name;
}

INSTANTIATE_TEST_SUITE_P(Decimal, IntText,
                         testing::Values(IntCase{"0", 0, 0}, IntCase{"42", 42, 42}, IntCase{"007", 7, 7},
                                         IntCase{"  42", 42, 42}, IntCase{"+42", 42, 42}, IntCase{"-42", -42, -42},
                                         IntCase{"  -8", -8, -8}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(Hexadecimal, IntText,
                         testing::Values(IntCase{"$1F", 31, 31}, IntCase{"x1f", 31, 31}, IntCase{"X1F", 31, 31},
                                         IntCase{"0x1F", 31, 31}, IntCase{"0X1f", 31, 31}, IntCase{"-$10", -16, -16},
                                         IntCase{"+0x10", 16, 16}, IntCase{"$7FFFFFFF", INT32_MAX, INT32_MAX}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(NoDigits, IntText,
                         testing::Values(IntCase{"", 0, none}, IntCase{"   ", 0, none}, IntCase{"ABC", 0, none},
                                         IntCase{"-", 0, none}, IntCase{"$", 0, none}, IntCase{"0x", 0, none},
                                         IntCase{"--5", 0, none}, IntCase{"+-5", 0, none}, IntCase{"- 5", 0, none},
                                         IntCase{"\t5", 0, none}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(StopsAtFirstUnfittingCharacter, IntText,
                         testing::Values(IntCase{"50ABC", 50, none}, IntCase{"12 34", 12, none},
                                         IntCase{"42 ", 42, none}, IntCase{"1e3", 1, none}, IntCase{"$1G", 1, none},
                                         IntCase{"0x1g", 1, none}, IntCase{"19=", 19, none}, IntCase{"3.9", 3, none}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(
    Saturates, IntText,
    testing::Values(IntCase{"2147483647", INT32_MAX, INT32_MAX}, IntCase{"2147483648", INT32_MAX, none},
                    IntCase{"-2147483648", INT32_MIN, INT32_MIN}, IntCase{"-2147483649", INT32_MIN, none},
                    IntCase{"4294967346", INT32_MAX, none},  // 2^32 + 50 must not wrap to 50
                    IntCase{"99999999999999999999999999999", INT32_MAX, none},
                    IntCase{"-99999999999999999999999999999", INT32_MIN, none}, IntCase{"$80000000", INT32_MAX, none},
                    IntCase{"$FFFFFFFF", INT32_MAX, none}, IntCase{"-$80000000", INT32_MIN, INT32_MIN},
                    IntCase{"$FFFFFFFFFFFFFFFFFFFF1", INT32_MAX, none}),
    caseName);

}  // namespace
