#pragma once

#include <cstdint>

#include "faults/fault_random.h"
#include "generators/generator.h"

// The value a generator writes, as a pure function of its record, its state and the time, so that
// a test drives it with a clock of its own.

// The moment the generator thread works at: its tick for periods and phases, the wall clock for
// the kind time.
struct GeneratorClock {
    uint64_t tick;          // milliseconds of a monotonic clock
    int64_t unixSeconds;
    int hour;               // the local time of day
    int minute;
    int second;
};

// Changes of a copy's source still on their way to the target (delay=); more changes within one
// delay than this merge into the latest.
inline constexpr int kCopyPendingChanges = 16;

struct GeneratorState {
    uint64_t startTick;     // the waves' phase 0
    uint64_t nextDueTick;
    bool started;           // the counter has written its start
    uint64_t counterOffset;
    double counterReal;
    FaultRandom random;     // the same small generator as the fault rules', seeded by seed=
    // copy: the source as last sampled, the changes in flight, and what the target shows.
    bool sourceSeen;
    bool targetSet;
    uint16_t lastSource[kMaxGeneratedCells];
    uint16_t target[kMaxGeneratedCells];
    int pendingFirst;
    int pendingCount;
    uint64_t pendingTick[kCopyPendingChanges];
    uint16_t pendingCells[kCopyPendingChanges][kMaxGeneratedCells];
};

// A fresh state whose first update is due at `tick`, the waves' phase starting there.
void StartGeneratorState(const Generator& generator, uint64_t tick, GeneratorState* state);

// Makes the next update due at `tick` and keeps the rest: a server that starts again resumes its
// counters and sequences where they stood, without catching up the time it was stopped.
void ResumeGeneratorState(uint64_t tick, GeneratorState* state);

// When an update is due: advances the state by the periods that have passed and answers true with
// the generator's cells (cellCount of them; a bit table's in the low bit) in *cells. False, and
// nothing to write, before the due tick or while a copy has nothing to show yet. `source` holds the
// copy's source cells as they are now (the other kinds ignore it).
bool StepGenerator(const Generator& generator, GeneratorState* state, const GeneratorClock& clock,
                   const uint16_t* source, uint16_t* cells);
