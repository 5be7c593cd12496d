#pragma once
// The program's pseudo-random generator: a 32-bit linear congruential one.
// The benchmark times its floating-point draws and the burner uses its
// integer draws, so both must stay exactly this cheap and this simple.
#include <cstdint>

class TGenerator {
public:
    uint32_t seed = 0;

    void Advance() { seed = seed * 134775813u + 1u; }

    // Uniform integer in 0..n-1: the high 32 bits of seed * n. Counts may be
    // wider than 32 bits, so n is 64-bit; for n below 2^32 this is exactly
    // the 32-bit draw.
    uint64_t Draw(uint64_t n) {
        Advance();
        return static_cast<uint64_t>((static_cast<unsigned __int128>(seed) * n) >> 32);
    }

    // Uniform double in [0, 1).
    double DrawFloat() {
        Advance();
        return seed / 4294967296.0;
    }
};

// v rounded to the nearest integer, ties to even, in extended precision.
int64_t nearest(long double v);
