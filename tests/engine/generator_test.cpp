// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "engine/generator.h"
#include "engine/kill_thread.h"

using namespace engine;

TEST(Generator, AdvancesLikeTheThirtyTwoBitCongruentialGenerator) {
    TGenerator g;
    g.seed = 0;
    g.advance();
    EXPECT_EQ(g.seed, 1u);
    g.advance();
    EXPECT_EQ(g.seed, 134775814u);
    g.seed = 0xFFFFFFFFu;
    g.advance();
    EXPECT_EQ(g.seed, static_cast<uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
}

TEST(Generator, DrawIsTheHighHalfOfSeedTimesN) {
    TGenerator g;
    g.seed = 0x7FFFFFFF;
    const uint32_t next = g.seed * 134775813u + 1u;
    EXPECT_EQ(g.Draw(100), (uint64_t(next) * 100) >> 32);
    // draw(1) is always 0 and draw(n) stays below n, also beyond 32 bits.
    const uint64_t wide = 10'000'000'000ull;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(g.Draw(1), 0u);
        EXPECT_LT(g.Draw(7), 7u);
        EXPECT_LT(g.Draw(wide), wide);
    }
}

TEST(Generator, FloatDrawIsSeedOverTwoToThe32) {
    TGenerator g;
    g.seed = 0;
    EXPECT_DOUBLE_EQ(g.drawFloat(), 1.0 / 4294967296.0);
    g.seed = 0xFFFFFFFFu - 134775813u;  // any seed: the value stays below 1
    for (int i = 0; i < 1000; ++i) {
        double v = g.drawFloat();
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0);
    }
}

TEST(Nearest, RoundsTiesToEven) {
    EXPECT_EQ(nearest(0.5L), 0);
    EXPECT_EQ(nearest(1.5L), 2);
    EXPECT_EQ(nearest(2.5L), 2);
    EXPECT_EQ(nearest(-2.5L), -2);
    EXPECT_EQ(nearest(2.4999L), 2);
}

TEST(CycleArithmetic, BaseCountAtBenchmarkTimes) {
    EXPECT_EQ(baseCount(1000), 675000);
    EXPECT_EQ(baseCount(50), 13'500'000);
    EXPECT_EQ(baseCount(13500), 50000);
}

TEST(CycleArithmetic, HeavyCycleValuesOfA) {
    EXPECT_EQ(heavyA(96, 0), 26'476'531);
    EXPECT_EQ(heavyA(96, 1), 27'048'980);
    EXPECT_EQ(heavyA(97, 0), 27'048'980);
    EXPECT_EQ(heavyA(97, 1), 27'627'551);
    EXPECT_EQ(heavyA(98, 0), 60'000'000);
    EXPECT_EQ(heavyA(98, 1), 60'000'000);
}

TEST(CycleArithmetic, HeavyCountRoundsTiesToEvenWithTheRandomPart) {
    // B = 1000: a * 13.5 = 357,433,168.5 at factor 96, d = 0.
    EXPECT_EQ(heavyCount(26'476'531, 1000, 0), 357'433'168);
    EXPECT_EQ(heavyCount(26'476'531, 1000, 1), 357'433'170);
    EXPECT_EQ(heavyCount(26'476'531, 1000, 2), 357'433'170);
    EXPECT_EQ(heavyCount(60'000'000, 1000, 39'999), 810'000'000 + 39'999);
}

TEST(CycleArithmetic, CountsBeyondThirtyTwoBitsStayPositive) {
    // A fast machine (B = 50 ms) at factor 98: far beyond 2^31 passes.
    const int64_t m = heavyCount(heavyA(98, 0), 50, 0);
    EXPECT_EQ(m, 16'200'000'000);
}
