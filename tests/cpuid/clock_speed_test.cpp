// SPDX-License-Identifier: GPL-3.0-or-later
// TCPUID's clock speed through a scripted processor, clock and machine key.
#include <gtest/gtest.h>

#include "clock_speed.h"
#include "cpuid/cpuid.h"
#include "cpuid_test_doubles.h"

using namespace cpuid;

namespace {

using Journal = std::vector<std::string>;

struct ClockSpeed : testing::Test {
    platform::FakeProcessor processor;
    CpuidClock clock;

    // A processor with CPUID and a counter; a performance counter of 1000000
    // counts per second that moves 10 counts per reading.
    void SetUp() override {
        giveCpuid(processor, 0x0543, kFpuBit | kTscBit);
        clock.setPerformanceFrequency(1'000'000);
        clock.setPerformanceStep(10);
        clock.setTickCount(5000);
    }

    // TCPUID on the processor with these time stamps and a machine key with
    // these values (none: it cannot be opened).
    std::optional<platform::FakeMachineRegistry> registry;
    std::unique_ptr<TCPUID> create(std::vector<uint64_t> stamps, std::optional<std::map<std::string, uint32_t>> values,
                                   uint64_t next = 0, uint64_t step = 0) {
        processor.setTimeStamps(std::move(stamps), next, step);
        registry.emplace(std::move(values));
        return std::make_unique<TCPUID>(processor, clock, *registry);
    }
};
const std::map<std::string, uint32_t> k450{{"~MHz", 450}};

}  // namespace

TEST_F(ClockSpeed, MeasurementGivesTheSpeedWithItsFractionalDigits) {
    const auto cpu = create({7, 1'000, 451'033'118}, k450);
    EXPECT_EQ(cpu->CyclesPerSecond(), 451'032'118);
    EXPECT_DOUBLE_EQ(cpu->measuredSpeed(), 451.032118);
    EXPECT_DOUBLE_EQ(cpu->ProcessorSpeed(), 451.032118);
    EXPECT_EQ(cpu->StartStamp(), 1'000u);
    EXPECT_EQ(cpu->StopStamp(), 451'033'118u);
    EXPECT_EQ(cpu->ElapsedTicks(), 451'032'118);
    EXPECT_TRUE(registry->journal.empty());
    EXPECT_EQ(clock.tickCountReads(), 0);
    // Refresh, then the timer's two readings, each asking leaf 1 afresh.
    EXPECT_EQ(processor.calls(),
              (Journal{"idflag", "cpuid 1", "cpuid 0", "rdtsc", "cpuid 1", "rdtsc", "cpuid 1", "rdtsc"}));
}

TEST_F(ClockSpeed, MeasurementWaitsUntilTheCounterReachesTheTarget) {
    const auto cpu = create({0, 0, 1000}, std::nullopt);
    // c0 = 0, 10 after the start stamp, target 1,000,000: readings 20 ..
    // 1,000,000, the last one equal to it, then one after the stop stamp.
    EXPECT_EQ(clock.performanceCounterReads(), 2 + 99'999 + 1);
}

// On a busy machine the thread may be off the processor when the counter
// passes the target, here for 30 ms: the ticks of that time do not count.
TEST_F(ClockSpeed, LateEndOfTheWaitIsCountedAgainstTheCountersTime) {
    clock.queuePerformanceCounts({0, 10, 500'000, 1'030'000, 1'030'010});
    const auto cpu = create({7, 1'000, 1'000 + 2'575'000'000}, std::nullopt);  // 1.03 s at 2500 MHz
    EXPECT_EQ(cpu->ElapsedTicks(), 2'575'000'000);
    EXPECT_EQ(cpu->CyclesPerSecond(), 2'500'000'000);
}

TEST_F(ClockSpeed, NegativeMeasurementIsKnownButGivesZero) {
    const auto cpu = create({0, 1'000, 500}, k450);
    EXPECT_EQ(cpu->ElapsedTicks(), -500);
    EXPECT_EQ(cpu->CyclesPerSecond(), -500);
    EXPECT_DOUBLE_EQ(cpu->ProcessorSpeed(), 0.0);
    EXPECT_TRUE(registry->journal.empty());
    EXPECT_EQ(clock.tickCountReads(), 0);
}

TEST_F(ClockSpeed, NoPerformanceCounterFallsBackToTheRegistry) {
    clock.setPerformanceFrequency(0);
    const auto cpu = create({}, k450, 99, 1);
    EXPECT_EQ(cpu->CyclesPerSecond(), 450'000'000);
    EXPECT_DOUBLE_EQ(cpu->ProcessorSpeed(), 450.0);
    EXPECT_DOUBLE_EQ(cpu->measuredSpeed(), 0.0);
    EXPECT_EQ(clock.performanceCounterReads(), 0);
    EXPECT_EQ(registry->journal, (Journal{"open", "read ~MHz", "close"}));
    EXPECT_EQ(processor.count("rdtsc"), 1u);  // the refresh only
}

// Without a performance counter the machine key's speed is looked up under
// three spellings; a zero or negative value tries the next, a missing name
// or a failed read ends the lookup, and without a value the time-stamp
// counter is counted over one second.
TEST_F(ClockSpeed, RegistryLookupWithoutAPerformanceCounter) {
    using Values = std::map<std::string, uint32_t>;
    const Journal all{"open", "read ~MHz", "read ~Mhz", "read ~mhz", "close"};
    const struct {
        const char* name;
        std::vector<uint64_t> stamps;
        uint64_t next, step;
        std::optional<Values> values;
        bool failReads;
        Journal journal;
        double speed;
    } cases[] = {
        {"zero under the first name",
         {},
         0,
         1,
         Values{{"~MHz", 0}, {"~Mhz", 300}},
         false,
         {"open", "read ~MHz", "read ~Mhz", "close"},
         300.0},
        {"negative values", {}, 0, 1, Values{{"~MHz", 0xFFFFFFFF}, {"~Mhz", 0x80000000}, {"~mhz", 7}}, false, all, 7.0},
        {"missing first name",
         {42, 100, 2'300'000'100},
         0,
         0,
         Values{{"~Mhz", 300}, {"~mhz", 200}},
         false,
         {"open", "read ~MHz", "close"},
         2300.0},
        {"all three zero", {0, 10, 1'000'010}, 0, 0, Values{{"~MHz", 0}, {"~Mhz", 0}, {"~mhz", 0}}, false, all, 1.0},
        {"key that cannot be opened is not closed", {0, 0, 3'000'000}, 0, 0, std::nullopt, false, {"open"}, 3.0},
        {"failed read", {0, 0, 5'000'000}, 0, 0, Values{{"~MHz", 450}}, true, {"open", "read ~MHz", "close"}, 5.0},
    };
    clock.setPerformanceFrequency(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.setTickCount(5000);  // each count starts at the same tick
        processor.setTimeStamps(c.stamps, c.next, c.step);
        platform::FakeMachineRegistry registry = registryWith(c.values);
        registry.failReads = c.failReads;
        TCPUID cpu(processor, clock, registry);
        EXPECT_EQ(registry.journal, c.journal);
        EXPECT_DOUBLE_EQ(cpu.ProcessorSpeed(), c.speed);
    }
}

// Without CPUID, or with it but without the time-stamp flag, the machine
// key's value is used and nothing is measured.
TEST_F(ClockSpeed, WithoutATimeStampCounterTheRegistryValueIsUsedAndNothingIsMeasured) {
    platform::FakeProcessor bare;
    processor.setLeaf(1, {0x0543, 0, 0, kFpuBit});
    for (platform::FakeProcessor* p : {&bare, &processor}) {
        p->setTimeStamps({}, 0, 1);
        platform::FakeMachineRegistry registry = registryWith(k450);
        TCPUID cpu(*p, clock, registry);
        EXPECT_DOUBLE_EQ(cpu.ProcessorSpeed(), 450.0);
        EXPECT_EQ(p->count("rdtsc"), 0u);
        EXPECT_EQ(clock.performanceFrequencyReads() + clock.performanceCounterReads() + clock.tickCountReads(), 0);
    }
}

TEST_F(ClockSpeed, OneSecondCountReadsTheCounterEvenWithoutCpuid) {
    platform::FakeProcessor bare;
    bare.setTimeStamps({1'000, 67'001'000});
    platform::FakeMachineRegistry registry = registryWith(std::nullopt);
    TCPUID cpu(bare, clock, registry);
    EXPECT_EQ(cpu.CyclesPerSecond(), 67'000'000);
    EXPECT_DOUBLE_EQ(cpu.ProcessorSpeed(), 67.0);
    EXPECT_DOUBLE_EQ(cpu.measuredSpeed(), 0.0);
}

TEST_F(ClockSpeed, NoCounterAndNoRegistryValueMakesCreationFail) {
    platform::FakeProcessor bare;  // no CPUID, no counter
    platform::FakeMachineRegistry registry = registryWith(std::map<std::string, uint32_t>{{"~MHz", 0}});
    const auto created = cpuid::createCPUID(bare, clock, registry);
    ASSERT_TRUE(created.failure());
    EXPECT_EQ(created.failure()->reason, "The processor has no time-stamp counter");
    EXPECT_EQ(bare.count("rdtsc"), 1u);
}

// From the tick count t0: the edge at t0 + 1, the window until the first
// reading at t0 + 1000 or later, also where the tick count wraps (256 ms in).
TEST_F(ClockSpeed, OneSecondCountSpansFromTheEdgeToOneSecondAfterTheFirstReading) {
    clock.setPerformanceFrequency(0);
    for (const uint32_t t0 : {5000u, 0xFFFFFF00u}) {
        clock.setTickCount(t0);
        const int reads = clock.tickCountReads();
        const auto cpu = create({0, 10, 20}, std::nullopt);
        EXPECT_EQ(clock.lastTickCount(), uint32_t(t0 + 1000));
        EXPECT_EQ(clock.tickCountReads() - reads, 1001);
    }
}

TEST_F(ClockSpeed, GetTicksPerSecondDividesByTheIterationsRoundingTiesToEven) {
    const auto cpu = create({0, 0, 1'000}, std::nullopt);

    struct Case {
        uint64_t elapsed;
        int64_t expected;
    };
    for (Case c : {Case{5, 2}, Case{7, 4}, Case{9, 4}, Case{11, 6}, Case{600'000'001, 300'000'000}}) {
        processor.setTimeStamps({100, 100 + c.elapsed});
        int readsBefore = clock.performanceCounterReads();
        EXPECT_EQ(cpu->GetTicksPerSecond(2), c.expected) << c.elapsed;
        // Two seconds of counter time: c0 and one after the start stamp,
        // readings up to c0 + 2,000,000, one after the stop stamp.
        EXPECT_EQ(clock.performanceCounterReads() - readsBefore, 2 + 199'999 + 1);
        EXPECT_EQ(cpu->ElapsedTicks(), int64_t(c.elapsed));
        EXPECT_DOUBLE_EQ(cpu->measuredSpeed(), double(c.expected) / 1e6);
    }
    // A later measurement leaves the speed found at creation alone.
    EXPECT_DOUBLE_EQ(cpu->ProcessorSpeed(), 0.001);
}

// GetCPUSpeed gives the count found at creation without measuring; a
// measurement refused (no iterations) or impossible (no counter) keeps it all.
TEST_F(ClockSpeed, GetCPUSpeedAndFailedMeasurementsKeepWhatCreationFound) {
    const auto cpu = create({0, 0, 2'000'000}, std::nullopt);
    const int reads = clock.performanceCounterReads() + clock.performanceFrequencyReads();
    EXPECT_EQ(cpu->GetCPUSpeed(), 2'000'000);
    EXPECT_THROW(cpu->GetTicksPerSecond(0), std::invalid_argument);
    EXPECT_EQ(clock.performanceCounterReads() + clock.performanceFrequencyReads(), reads);
    clock.setPerformanceFrequency(0);
    EXPECT_EQ(cpu->GetTicksPerSecond(1), 0);
    EXPECT_DOUBLE_EQ(cpu->measuredSpeed(), 2.0);
    EXPECT_EQ(cpu->ElapsedTicks(), 2'000'000);
    EXPECT_EQ(processor.count("rdtsc"), 3u);
}

TEST_F(ClockSpeed, TimerStartClearsStopAndElapsed) {
    const auto cpu = create({0, 0, 2'000'000}, std::nullopt);
    processor.setTimeStamps({500, 300});
    cpu->StartTimer();
    EXPECT_EQ(cpu->StartStamp(), 500u);
    EXPECT_EQ(cpu->StopStamp(), 0u);
    EXPECT_EQ(cpu->ElapsedTicks(), 0);
    cpu->StopTimer();
    EXPECT_EQ(cpu->ElapsedTicks(), -200);
}

TEST(ClockSpeedArithmetic, DivisionRoundsHalfToEvenForBothSigns) {
    EXPECT_EQ(DivideRoundingToEven(5, 2), 2);
    EXPECT_EQ(DivideRoundingToEven(7, 2), 4);
    EXPECT_EQ(DivideRoundingToEven(-5, 2), -2);
    EXPECT_EQ(DivideRoundingToEven(-7, 2), -4);
    EXPECT_EQ(DivideRoundingToEven(10, 3), 3);
    EXPECT_EQ(DivideRoundingToEven(11, 3), 4);
    EXPECT_EQ(DivideRoundingToEven(-11, 3), -4);
    EXPECT_EQ(DivideRoundingToEven(123, 1), 123);
    EXPECT_THROW(DivideRoundingToEven(1, 0), std::invalid_argument);
}
