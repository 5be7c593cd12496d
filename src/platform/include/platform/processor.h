// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The processor's identification instructions and flag-register tests.
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

struct CpuidRegisters {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

class Processor {
public:
    virtual ~Processor() = default;
    // Inverts the ID flag (bit 21) of the flag register; true when it changed.
    // The flag register is restored before returning.
    virtual bool idFlagToggles() = 0;
    // Executes CPUID with EAX = leaf (ECX = 0).
    virtual CpuidRegisters cpuid(uint32_t leaf) = 0;
    // One reading of the time-stamp counter; nothing without one.
    virtual std::optional<uint64_t> readTimeStamp() = 0;
    // The class tests for processors without CPUID: true when positive.
    // 8086/8088: bits 12-15 of FLAGS stay set after writing them cleared.
    virtual bool test8086() = 0;
    // 80286: bits 12-15 of FLAGS stay clear after writing them set.
    virtual bool test80286() = 0;
    // 80386: the alignment-check flag (bit 18) cannot be toggled.
    virtual bool test80386() = 0;
};

// This machine's processor (on other architectures: no CPUID, no counter).
Processor& realProcessor();

}  // namespace platform
