// SPDX-License-Identifier: GPL-3.0-or-later
// The real processor: CPUID, RDTSC and the flag-register tests, on x86 in
// 64-bit and 32-bit builds.
#include "platform/processor.h"

#if defined(__x86_64__) || defined(__i386__)
#define LENTORA_X86 1
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace platform {

namespace {

#if defined(LENTORA_X86)

// The flag register is as wide as a general register: RFLAGS or EFLAGS.
using Flags = unsigned long;
constexpr Flags kIdFlag = 0x200000;              // bit 21
constexpr unsigned kTimeStampFeature = 1u << 4;  // leaf 1 EDX; <cpuid.h> has no name for it

// Writes (flags AND keep) XOR toggle to the flag register, reads it back,
// and restores the original flags; `original` receives them.
Flags flagsReadBack(Flags keep, Flags toggle, Flags& original) {
    Flags readBack;
#if defined(__x86_64__)
    // The pushes step over the 128-byte red zone first, where the compiler
    // may keep locals of this leaf function.
    asm volatile(
        "lea -128(%%rsp), %%rsp\n\t"
        "pushfq\n\t"
        "pop %[orig]\n\t"
        "mov %[orig], %[back]\n\t"
        "and %[keep], %[back]\n\t"
        "xor %[toggle], %[back]\n\t"
        "push %[back]\n\t"
        "popfq\n\t"
        "pushfq\n\t"
        "pop %[back]\n\t"
        "push %[orig]\n\t"
        "popfq\n\t"
        "lea 128(%%rsp), %%rsp"
        : [orig] "=&r"(original), [back] "=&r"(readBack)
        : [keep] "r"(keep), [toggle] "r"(toggle)
        : "cc", "memory");
#else
    // The 32-bit ABI has no red zone.
    asm volatile(
        "pushfl\n\t"
        "pop %[orig]\n\t"
        "mov %[orig], %[back]\n\t"
        "and %[keep], %[back]\n\t"
        "xor %[toggle], %[back]\n\t"
        "push %[back]\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "pop %[back]\n\t"
        "push %[orig]\n\t"
        "popfl"
        : [orig] "=&r"(original), [back] "=&r"(readBack)
        : [keep] "r"(keep), [toggle] "r"(toggle)
        : "cc", "memory");
#endif
    return readBack;
}

bool processorHasTimeStampCounter() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & kTimeStampFeature) != 0;
}

class MachineProcessor final : public Processor {
public:
    // Always true on x86-64; a real test in a 32-bit build.
    bool idFlagToggles() override {
        Flags original = 0;
        const Flags readBack = flagsReadBack(~Flags(0), kIdFlag, original);
        return ((readBack ^ original) & kIdFlag) != 0;
    }

    CpuidRegisters cpuid(uint32_t leaf) override {
        CpuidRegisters r;
        __cpuid_count(leaf, 0, r.eax, r.ebx, r.ecx, r.edx);
        return r;
    }

    std::optional<uint64_t> readTimeStamp() override {
        static const bool present = processorHasTimeStampCounter();
        if (!present) return std::nullopt;
        return __rdtsc();
    }

    // Writing bits 12-15 cleared only clears IOPL (ignored in user mode) and
    // NT, which is already clear in user mode: harmless, so the test runs.
    bool test8086() override {
        Flags original;
        return (flagsReadBack(~Flags(0xF000), 0, original) & 0xF000) == 0xF000;
    }

    // Not executed: setting NT (bit 14) in 64-bit mode makes the next
    // interrupt return fault. Linux runs on an 80486 or later, in 32-bit
    // builds too, and every such processor keeps bits 12-15 writable in this
    // sense, so the answer is known to be negative.
    bool test80286() override { return false; }

    // Not executed: setting the alignment-check flag in user mode turns on
    // alignment checking (Linux sets CR0.AM) for whatever runs while it is
    // set, a signal handler included. Every processor Linux runs on (80486
    // or later) has the flag, so the answer is known to be negative.
    bool test80386() override { return false; }
};

#else

// Another architecture: no CPUID, no time-stamp counter, and the x86 class
// tests mean nothing, so none is positive.
class MachineProcessor final : public Processor {
public:
    bool idFlagToggles() override { return false; }
    CpuidRegisters cpuid(uint32_t) override { return {}; }
    std::optional<uint64_t> readTimeStamp() override { return std::nullopt; }
    bool test8086() override { return false; }
    bool test80286() override { return false; }
    bool test80386() override { return false; }
};

#endif

}  // namespace

Processor& realProcessor() {
    static MachineProcessor processor;
    return processor;
}

}  // namespace platform
