// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "cpuid/processor_decoding.h"
#include "cpuid_test_doubles.h"

using namespace cpuid;

TEST(SignatureDecoding, TakesTheBaseFieldsOnly) {
    // Extended family/model bits set, and bits 14-15 set beside type 1.
    ProcessorSignature s = decodeSignature(0xFFFFD543);
    EXPECT_EQ(s.type, 1);
    EXPECT_EQ(s.family, 5);
    EXPECT_EQ(s.model, 4);
    EXPECT_EQ(s.stepping, 3);
}

TEST(SignatureDecoding, ModernProcessorKeepsOnlyTheLowModelNibble) {
    // Family 6, extended model 0xA, model 7, stepping 1 (cpuinfo: model 167).
    ProcessorSignature s = decodeSignature(0x000A0671);
    EXPECT_EQ(s.type, 0);
    EXPECT_EQ(s.family, 6);
    EXPECT_EQ(s.model, 7);
    EXPECT_EQ(s.stepping, 1);
}

TEST(SignatureDecoding, FieldsAtTheirMaximum) {
    ProcessorSignature s = decodeSignature(0x3FFF);
    EXPECT_EQ(s.type, 3);
    EXPECT_EQ(s.family, 15);
    EXPECT_EQ(s.model, 15);
    EXPECT_EQ(s.stepping, 15);
}

TEST(VendorDecoding, BytesComeFromEbxThenEdxThenEcx) {
    VendorBytes bytes = vendorBytesOf(kGenuineIntel);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "GenuineIntel");
    EXPECT_EQ(vendorString(bytes), "GenuineIntel");
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

TEST(VendorDecoding, ZeroInTheLastRegisterCutsThere) {
    VendorBytes bytes = vendorBytesOf(platform::vendorLeaf(std::string("CyrixInst\0ad", 12)));
    EXPECT_EQ(vendorString(bytes), "CyrixInst");
}

TEST(VendorDecoding, AllZeroGivesEmptyVendor) { EXPECT_EQ(vendorString(vendorBytesOf({})), ""); }

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

TEST(TimeStampSplit, MostSignificantQuarterFirst) {
    TimeStampWords w = splitTimeStamp(0x1122334455667788ull);
    EXPECT_EQ(w.hiHi, 0x1122);
    EXPECT_EQ(w.hiLo, 0x3344);
    EXPECT_EQ(w.loHi, 0x5566);
    EXPECT_EQ(w.loLo, 0x7788);
}
