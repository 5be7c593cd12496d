// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's pseudo-random generator: a 32-bit linear congruential one.
// The benchmark times its floating-point draws and the burner uses its
// integer draws, so both must stay exactly this cheap and this simple.
#include <cstdint>

namespace engine {

class TGenerator {
public:
    uint32_t seed = 0;

    void advance() { seed = seed * 134775813u + 1u; }

    // Uniform integer in 0..n-1: seed * n shifted right by 32 bits. Counts
    // may be wider than 32 bits, so n is 64-bit; for n below 2^32 this is
    // exactly the 32-bit draw. The product is taken in two halves so that no
    // 128-bit type is needed (32-bit builds have none): with n = high * 2^32
    // + low, it is seed * high + ((seed * low) >> 32), exactly, and neither
    // part overflows.
    uint64_t Draw(uint64_t n) {
        advance();
        return uint64_t{seed} * (n >> 32) + ((uint64_t{seed} * (n & 0xffffffffu)) >> 32);
    }

    // Uniform double in [0, 1).
    double drawFloat() {
        advance();
        return seed / 4294967296.0;
    }
};

// v rounded to the nearest integer, ties to even, in extended precision.
int64_t nearest(long double v);

}  // namespace engine
