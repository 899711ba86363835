#pragma once

#include <cstdint>

// The random source behind every random choice of the fault rules (probability=, delay=MIN-MAX,
// garbage=): a small generator whose whole state is one seed, so that --fault-seed repeats every
// choice exactly from run to run. SplitMix64: statistically sound for this, tiny, and the same on
// every platform, which the standard library's engines with their distributions are not.
struct FaultRandom {
    uint64_t state;
};

uint64_t NextFaultRandom(FaultRandom* random);

// Uniform from `least` to `most` inclusive (least <= most).
uint32_t FaultRandomBetween(FaultRandom* random, uint32_t least, uint32_t most);

// True with the given probability (0 to 1).
bool FaultRandomChance(FaultRandom* random, double probability);
