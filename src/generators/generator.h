#pragma once

#include <cstdint>
#include <string>

#include "values/value_type.h"

// One value generator as the operator writes it, on the command line, through the control
// interface, in the state file and in the console alike:
//
//     TABLE ADDRESS TYPE KIND [key=value ...]
//
// read once into this fixed record, so that the generator thread never parses or allocates.

enum class GeneratorTable : uint8_t { kCoils, kDiscreteInputs, kInputRegisters, kRegisters };

enum class GeneratorKind : uint8_t {
    kCounter,    // start=, step=, limit=: counts by step each period, back to start past the limit
    kRandom,     // min=, max=, seed=: a uniform draw each period
    kSine,       // amplitude=, offset=, period= the wave's, update= how often it is sampled
    kTriangle,
    kSawtooth,
    kSquare,
    kTime,       // the wall clock: Unix seconds (uint32, uint64) or the local hh, mm, ss (hms)
    kCopy,       // from=, from-table=, delay=: mirrors another run of the same type
};

// The longest generator text kept, with its terminator.
inline constexpr int kGeneratorTextSize = 192;
inline constexpr uint32_t kMinGeneratorPeriodMilliseconds = 10;
inline constexpr uint32_t kMaxGeneratorPeriodMilliseconds = 86400000;   // a day
inline constexpr uint32_t kDefaultGeneratorPeriodMilliseconds = 1000;
inline constexpr uint32_t kDefaultWaveUpdateMilliseconds = 100;
inline constexpr uint32_t kMaxCopyDelayMilliseconds = 3600000;   // an hour
// The registers of the widest value: a 64-bit one, or hms's three.
inline constexpr int kMaxGeneratedCells = 4;

// A number of the generator's type. Integer types (and bool) keep it exactly as its distance from
// the type's least value, so that one unsigned 64-bit count serves every integer type, int64 and
// uint64 included; `real` is its value as a double, the only form the float types and the waves use.
struct GeneratorNumber {
    uint64_t offset;
    double real;
};

struct Generator {
    GeneratorTable table;
    uint16_t address;
    ValueType type;        // the register type; kUint16 for bool and hms
    ValueOrder order;
    bool isBool;           // a coil or discrete input, 0 or 1
    bool isTimeOfDay;      // hms: three uint16 registers, hours, minutes and seconds
    int cellCount;         // the cells the value spans, 1 to kMaxGeneratedCells
    GeneratorKind kind;
    uint32_t periodMilliseconds;   // the wave's period for the waves, the update period otherwise
    uint32_t updateMilliseconds;   // how often a new value is written
    // counter: start, step (its magnitude in offset, the sign below), limit; random: min, max;
    // waves: amplitude, offset.
    GeneratorNumber first;
    GeneratorNumber second;
    GeneratorNumber third;
    bool stepDown;
    uint64_t seed;
    GeneratorTable fromTable;
    uint16_t fromAddress;
    uint32_t delayMilliseconds;
    char text[kGeneratorTextSize];   // as read, its words one blank apart
};

// Reads one generator. False, with *problem naming the word it could not read and why, for an
// unknown table, type, order, kind or key, a key given twice, a period under 10 ms, a run past
// 65535, a copy onto itself, a number the type cannot hold; *generator is then left unusable.
bool ParseGenerator(const std::string& text, Generator* generator, std::string* problem);

const char* GeneratorTableName(GeneratorTable table);
bool IsBitTable(GeneratorTable table);

// The number forms of the generator's type. Offsets run from 0 (the type's least value) to
// GeneratorSpan; bits are the value's big-endian image as PlaceValueBits takes it.
uint64_t GeneratorSpan(const Generator& generator);
uint64_t BitsOfOffset(const Generator& generator, uint64_t offset);
double RealOfOffset(const Generator& generator, uint64_t offset);
