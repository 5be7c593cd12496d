// SPDX-License-Identifier: GPL-3.0-or-later
// TCPUID's identification through the scripted processor. Every case gives
// the machine key a speed, so creation succeeds without a counter.
#include <gtest/gtest.h>

#include "cpuid/cpuid.h"
#include "cpuid_test_doubles.h"

using namespace cpuid;

namespace {

struct Identification : testing::Test {
    platform::FakeProcessor processor;
    CpuidClock clock;
    platform::FakeMachineRegistry registry = registryWith(std::map<std::string, uint32_t>{{"~MHz", 450}});
};

}  // namespace

TEST_F(Identification, WithoutCpuidEverythingKeepsItsDefault) {
    processor.setTimeStamps({0x1122334455667788ull});
    TCPUID cpu(processor, clock, registry);
    EXPECT_FALSE(cpu.HasCPUID());
    EXPECT_FALSE(cpu.HasFPU());
    EXPECT_FALSE(cpu.HasTimeStamp());
    EXPECT_FALSE(cpu.HasAPIC());
    EXPECT_EQ(cpu.CPUID1() | cpu.CPUID2() | cpu.CPUID3() | cpu.CPUID4(), 0);
    EXPECT_EQ(cpu.ProcessorType() | cpu.ProcessorFamily() | cpu.ProcessorModel() | cpu.ProcessorStepping(), 0);
    EXPECT_EQ(cpu.ProcessorVendor(), "Unknown Vendor");
    EXPECT_EQ(cpu.ProcessorDescription(), "80486 Processor");
    EXPECT_EQ(cpu.TimeStampHiHi() | cpu.TimeStampHiLo() | cpu.TimeStampLoHi() | cpu.TimeStampLoLo(), 0);
    EXPECT_EQ(cpu.VCLVersion(), "1.02");
    EXPECT_EQ(cpu.vendorBytesRead(), VendorBytes{});
    // Neither CPUID nor the counter was touched.
    EXPECT_EQ(processor.calls(), (std::vector<std::string>{"idflag", "8086", "80286", "80386"}));
}

TEST_F(Identification, WithoutCpuidTheLastPositiveClassTestNamesTheProcessor) {
    processor.setClassTests(true, false, true);
    TCPUID cpu(processor, clock, registry);
    EXPECT_EQ(cpu.ProcessorDescription(), "80386 Processor");
}

TEST_F(Identification, LeafOneFillsTheSignatureAndFlags) {
    giveCpuid(processor, 0xFFFFD543, 0x80000000 | kFpuBit | kApicBit);
    processor.setLeaf(1, {0xFFFFD543, 0x01020304, 0xFEDCBA98, 0x80000000 | kFpuBit | kApicBit});
    TCPUID cpu(processor, clock, registry);
    EXPECT_TRUE(cpu.HasCPUID());
    EXPECT_EQ(cpu.CPUID1(), int32_t(0xFFFFD543));
    EXPECT_EQ(cpu.CPUID2(), 0x01020304);
    EXPECT_EQ(cpu.CPUID3(), int32_t(0xFEDCBA98));
    EXPECT_EQ(cpu.CPUID4(), int32_t(0x80000201));
    EXPECT_EQ(cpu.ProcessorType(), 1);
    EXPECT_EQ(cpu.ProcessorFamily(), 5);
    EXPECT_EQ(cpu.ProcessorModel(), 4);
    EXPECT_EQ(cpu.ProcessorStepping(), 3);
    EXPECT_TRUE(cpu.HasFPU());
    EXPECT_FALSE(cpu.HasTimeStamp());
    EXPECT_TRUE(cpu.HasAPIC());
    EXPECT_EQ(cpu.ProcessorVendor(), "GenuineIntel");
    EXPECT_EQ(cpu.ProcessorDescription(), "Intel Pentium Overdrive MMX 166/200 Mhz");
    // Leaf 1 before leaf 0; no class test, no counter without the flag.
    EXPECT_EQ(processor.calls(), (std::vector<std::string>{"idflag", "cpuid 1", "cpuid 0"}));
}

TEST_F(Identification, VendorIsNotConsultedForTheDescription) {
    giveCpuid(processor, 0x0560, 0);
    processor.setLeaf(0, platform::vendorLeaf("AuthenticAMD"));
    TCPUID cpu(processor, clock, registry);
    EXPECT_EQ(cpu.ProcessorVendor(), "AuthenticAMD");
    EXPECT_EQ(cpu.ProcessorDescription(), "Intel Pentium (75,90,100,120,133)");
}

TEST_F(Identification, VendorWithAZeroByteEndsThereButKeepsAllBytes) {
    giveCpuid(processor, 0x0480, 0);
    processor.setLeaf(0, platform::vendorLeaf(std::string("Ven\0orBytes!", 12)));
    TCPUID cpu(processor, clock, registry);
    EXPECT_EQ(cpu.ProcessorVendor(), "Ven");
    EXPECT_EQ(cpu.vendorBytesRead()[3], 0);
    EXPECT_EQ(cpu.vendorBytesRead()[11], '!');
    EXPECT_EQ(cpu.ProcessorDescription(), "Intel 486 DX4");
}

TEST_F(Identification, CreationRefreshesTheTimeStampWords) {
    giveCpuid(processor, 0x0543, kTscBit);
    processor.setTimeStamps({0x1122334455667788ull});
    TCPUID cpu(processor, clock, registry);
    EXPECT_EQ(cpu.TimeStampHiHi(), 0x1122);
    EXPECT_EQ(cpu.TimeStampHiLo(), 0x3344);
    EXPECT_EQ(cpu.TimeStampLoHi(), 0x5566);
    EXPECT_EQ(cpu.TimeStampLoLo(), 0x7788);

    processor.setTimeStamps({0xAAAABBBBCCCCDDDDull});
    cpu.RefreshTimeStamp();
    EXPECT_EQ(cpu.TimeStampHiHi(), 0xAAAA);
    EXPECT_EQ(cpu.TimeStampLoLo(), 0xDDDD);
}

TEST_F(Identification, RefreshWithoutTheTimeStampFlagChangesNothing) {
    giveCpuid(processor, 0x0543, kFpuBit);
    processor.setTimeStamps({}, 0x1122334455667788ull, 1);
    TCPUID cpu(processor, clock, registry);
    cpu.RefreshTimeStamp();
    EXPECT_EQ(cpu.TimeStampHiHi() | cpu.TimeStampHiLo() | cpu.TimeStampLoHi() | cpu.TimeStampLoLo(), 0);
    EXPECT_EQ(processor.count("rdtsc"), 0u);
}

TEST_F(Identification, GetTimeStampAsksLeafOneAfreshEachTime) {
    giveCpuid(processor, 0x0543, kTscBit);
    processor.setTimeStamps({1, 2, 3});
    TCPUID cpu(processor, clock, registry);  // no performance counter: one reading
    std::size_t leafOneBefore = processor.count("cpuid 1");
    EXPECT_EQ(cpu.GetTimeStamp(), 2u);
    EXPECT_EQ(processor.count("cpuid 1"), leafOneBefore + 1);

    processor.setLeaf(1, {0x0543, 0, 0, kFpuBit});
    EXPECT_EQ(cpu.GetTimeStamp(), 0u);
    EXPECT_EQ(processor.count("cpuid 1"), leafOneBefore + 2);
    EXPECT_EQ(processor.count("rdtsc"), 2u);
}
