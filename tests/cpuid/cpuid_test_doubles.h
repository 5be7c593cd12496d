// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clock, machine key and processor set up for driving TCPUID in tests.
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_machine_registry.h"
#include "fakes/fake_processor.h"

// A clock without a performance counter whose tick count moves 1 ms per
// reading, so every busy wait ends after a known number of reads.
struct CpuidClock : platform::FakeClock {
    CpuidClock() {
        setPerformanceFrequency(0);
        setTickStep(1);
    }
};

// A machine key with the given values (none: it cannot be opened) that
// records what it was asked.
inline platform::FakeMachineRegistry registryWith(std::optional<std::map<std::string, uint32_t>> values) {
    return platform::FakeMachineRegistry(std::move(values));
}

// Leaf-1 EDX bits.
inline constexpr uint32_t kFpuBit = 1u << 0;
inline constexpr uint32_t kTscBit = 1u << 4;
inline constexpr uint32_t kApicBit = 1u << 9;

// "GenuineIntel" as leaf 0 really returns it.
inline constexpr platform::CpuidRegisters kGenuineIntel{1, 0x756E6547, 0x6C65746E, 0x49656E69};

// A processor with CPUID: leaf 1 EAX/EDX as given, leaf 0 "GenuineIntel".
inline void giveCpuid(platform::FakeProcessor& processor, uint32_t eax, uint32_t edx) {
    processor.setIdFlagToggles(true);
    processor.setLeaf(1, {eax, 0, 0, edx});
    processor.setLeaf(0, kGenuineIntel);
}
