// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cerrno>

#include "engine/benchmark.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_user_registry.h"
#include "platform/registry.h"

using namespace engine;

// Across midnight too: the elapsed time stays positive.
TEST(Benchmark, MeasureBenchTimesTheDrawsWithTheLocalClock) {
    platform::FakeClock clock;
    clock.queueLocalTimes({{23, 59, 59, 990}, {0, 0, 0, 40}});
    TGenerator g;
    g.seed = 7;
    EXPECT_EQ(MeasureBench(clock, g, 1000), 50);
    // Every draw advanced the generator.
    TGenerator expected;
    expected.seed = 7;
    for (int i = 0; i < 1000; ++i) expected.advance();
    EXPECT_EQ(g.seed, expected.seed);
}

TEST(Benchmark, TheDrawsReallyRunOnTheMachine) {
    // If the optimiser dropped the work, ten times the draws would take no longer.
    TGenerator g;
    platform::Clock& clock = platform::systemClock();
    const int32_t small = MeasureBench(clock, g, 2'000'000);
    const int32_t large = MeasureBench(clock, g, 40'000'000);
    EXPECT_GT(large, 10);
    EXPECT_GT(large, small);
}

TEST(BenchmarkStore, FirstStartMeasuresAndLaterStartsReadTheStoredTime) {
    auto registry = platform::fakeUserRegistry();
    int runs = 0;
    auto measure = [&] {
        ++runs;
        EXPECT_TRUE(storeBench(*registry, 42));
        return 42;
    };
    EXPECT_EQ(loadBenchmarkTime(*registry, measure), 42);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(loadBenchmarkTime(*registry, measure), 42);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(registry->readDword(kRegistryKey, kBenchValue), 42u);
}

// A stored time that cannot scale the burner was kept: at -1 or INT_MIN it
// burned nothing, at 0x7fffffff next to nothing. Now it is measured again.
TEST(BenchmarkStore, TextZeroOrDamagedValueIsMeasuredAgainAndReplaced) {
    const uint32_t damaged[] = {0, 0xffffffffu, 0x80000000u, 0x7fffffffu, kLongestBenchmarkMs + 1};
    const uint32_t usable[] = {1, 70, kLongestBenchmarkMs};
    auto registry = platform::fakeUserRegistry();
    EXPECT_TRUE(registry->createKey(kRegistryKey));
    int runs = 0;
    auto measure = [&] {
        ++runs;
        EXPECT_TRUE(storeBench(*registry, 77));
        return 77;
    };
    EXPECT_TRUE(registry->writeString(kRegistryKey, kBenchValue, "50"));
    EXPECT_EQ(loadBenchmarkTime(*registry, measure), 77);
    for (uint32_t value : damaged) {
        EXPECT_TRUE(registry->writeDword(kRegistryKey, kBenchValue, value));
        EXPECT_EQ(loadBenchmarkTime(*registry, measure), 77) << value;
        EXPECT_EQ(registry->readDword(kRegistryKey, kBenchValue), 77u) << value;
    }
    for (uint32_t value : usable) {
        EXPECT_TRUE(registry->writeDword(kRegistryKey, kBenchValue, value));
        EXPECT_EQ(loadBenchmarkTime(*registry, measure), int32_t(value));
    }
    EXPECT_EQ(runs, 1 + std::size(damaged)) << "usable values are not measured again";
}

TEST(BenchmarkStore, AMeasurementOfZeroIsRetriedOnce) {
    auto registry = platform::fakeUserRegistry();
    int runs = 0;
    EXPECT_EQ(loadBenchmarkTime(*registry, [&] { return runs++ == 0 ? 0 : 9; }), 9);
    EXPECT_EQ(runs, 2);
    runs = 0;  // the clock was put forward an hour during the measurement
    EXPECT_EQ(loadBenchmarkTime(*registry, [&] { return runs++ == 0 ? 3'600'070 : 70; }), 70);
}

TEST(BenchmarkStore, AFailedWriteIsReported) {
    auto registry = platform::fakeUserRegistry(true);
    auto failure = storeBench(*registry, 10).failure();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->reason.find("Failed to set data for 'bench'"), std::string::npos);
    EXPECT_EQ(failure->error, ENOSPC) << "the store's error number is kept";
}
