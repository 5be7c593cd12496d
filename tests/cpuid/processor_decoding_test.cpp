// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>

#include "cpuid/processor_decoding.h"
#include "cpuid_test_doubles.h"

using namespace cpuid;

// Extended family and model bits and bits 14-15 beside the type are ignored.
TEST(SignatureDecoding, TakesTheBaseFieldsOnly) {
    const std::pair<uint32_t, std::array<int32_t, 4>> cases[] = {
        // type, family, model, stepping
        {0xFFFFD543, {1, 5, 4, 3}},
        {0x000A0671, {0, 6, 7, 1}},  // cpuinfo: family 6, model 167
        {0x3FFF, {3, 15, 15, 15}},
    };
    for (const auto& [eax, fields] : cases) {
        const ProcessorSignature s = decodeSignature(eax);
        EXPECT_EQ((std::array{s.type, s.family, s.model, s.stepping}), fields) << std::hex << eax;
    }
}

TEST(VendorDecoding, StringEndsAtTheFirstZeroByte) {
    platform::CpuidRegisters leaf0{1, 0x00006241, 0x6867666A, 0x6665640A};
    VendorBytes bytes = vendorBytesOf(leaf0);
    EXPECT_EQ(vendorString(bytes), "Ab");
    // The raw bytes keep what follows the zero.
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[4], 0x0A);
    EXPECT_EQ(bytes[11], 0x68);
}

TEST(VendorDecoding, ZeroInTheLastRegisterOrEverywhereCutsThere) {
    EXPECT_EQ(vendorString(vendorBytesOf(platform::vendorLeaf(std::string("CyrixInst\0ad", 12)))), "CyrixInst");
    EXPECT_EQ(vendorString(vendorBytesOf({})), "");
}

TEST(FeatureDecoding, ReadsBitsZeroFourAndNine) {
    FeatureFlags all = decodeFeatures(kFpuBit | kTscBit | kApicBit);
    EXPECT_TRUE(all.fpu && all.timeStamp && all.apic);
    FeatureFlags neighbours = decodeFeatures(~(kFpuBit | kTscBit | kApicBit));
    EXPECT_FALSE(neighbours.fpu || neighbours.timeStamp || neighbours.apic);
    FeatureFlags tscOnly = decodeFeatures(kTscBit);
    EXPECT_FALSE(tscOnly.fpu);
    EXPECT_TRUE(tscOnly.timeStamp);
    EXPECT_FALSE(tscOnly.apic);
}
