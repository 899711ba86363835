#include "faults/fault_random.h"

uint64_t NextFaultRandom(FaultRandom* random)
{
    uint64_t mixed = (random->state += 0x9E3779B97F4A7C15u);
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBu;
    return mixed ^ (mixed >> 31);
}

uint32_t FaultRandomBetween(FaultRandom* random, uint32_t least, uint32_t most)
{
    uint64_t span = uint64_t{most} - least + 1;
    // The bias of a 64-bit draw taken modulo a 32-bit span is below 2^-32: negligible here.
    return static_cast<uint32_t>(least + NextFaultRandom(random) % span);
}

bool FaultRandomChance(FaultRandom* random, double probability)
{
    // 53 random bits, a uniform double in [0, 1).
    double draw = static_cast<double>(NextFaultRandom(random) >> 11) * (1.0 / 9007199254740992.0);
    return draw < probability;
}
