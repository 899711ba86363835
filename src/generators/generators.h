#pragma once

#include <cstdint>
#include <string>

#include "generators/generator.h"

// The value generators in force, in the order they were added, and the one thread that writes
// them while the server runs. Generators come and go at run time (command line, control
// interface, state file, console); GeneratorsLock guards the set, and no log line is written while
// it is held. The thread takes a table's lock, under GeneratorsLock, once for each value it
// writes, so a client reads a 32-bit or 64-bit value whole, never half old and half new. A client's
// write to a generated cell is served as always and overwritten at the generator's next update.

inline constexpr int kMaxGeneratorCount = 1024;

// One generator as the lists show it.
struct GeneratorView {
    uint32_t id;
    char text[kGeneratorTextSize];
};

// Reads and appends one generator, its first update due at once. Its id (from 1, never reused
// while the process lives), or 0 with *problem saying why: a malformed text (naming the word) or
// a full set. Logs the generator unless `quietly` (generators set before the log has its target,
// which LogGenerators then shows).
uint32_t AddGenerator(const std::string& text, std::string* problem, bool quietly = false);
// Logs every generator in force, when there are any.
void LogGenerators();
// False when no generator has that id.
bool RemoveGenerator(uint32_t id);
void ClearGenerators();
// Copies the generators in order into `views` (room for kMaxGeneratorCount); answers how many.
int CopyGenerators(GeneratorView* views);

// Started by the listener as the server starts and stopped before it counts as stopped: the
// thread resumes every generator at once and then sleeps until the next one is due, or until the
// set changes. 0, or the error number of the failed start (already logged).
int StartGeneratorThread();
// Returns once the thread has ended; nothing is written to the tables afterwards.
void StopGeneratorThread();
