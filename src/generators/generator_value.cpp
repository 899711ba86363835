#include "generators/generator_value.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "values/value_bits.h"

namespace {

bool IsReal(const Generator& generator)
{
    return !generator.isBool && IsRealType(generator.type);
}

void PlaceBits(const Generator& generator, uint64_t bits, uint16_t* cells)
{
    if (generator.isBool) {
        cells[0] = static_cast<uint16_t>(bits & 1);
        return;
    }
    PlaceValueBits(generator.type, generator.order, bits, cells);
}

void PlaceOffset(const Generator& generator, uint64_t offset, uint16_t* cells)
{
    PlaceBits(generator, BitsOfOffset(generator, offset), cells);
}

// A real value in the type: float32 clamped to its finite range; integer types (and bool) rounded
// to the nearest whole number, halves away from zero, and clamped to the type's range.
void PlaceReal(const Generator& generator, double value, uint16_t* cells)
{
    uint64_t bits = 0;
    if (IsReal(generator)) {
        constexpr double kFloat32Most = 3.4028234663852886e38;
        if (generator.type == ValueType::kFloat32) {
            value = std::fmax(-kFloat32Most, std::fmin(kFloat32Most, value));
        }
        BitsFromReal(generator.type, value, &bits);
        PlaceBits(generator, bits, cells);
        return;
    }
    const uint64_t span = GeneratorSpan(generator);
    const double rounded = std::round(value);
    uint64_t offset = 0;
    if (rounded >= RealOfOffset(generator, span)) {
        offset = span;
    } else if (rounded > RealOfOffset(generator, 0)) {
        if (generator.isBool) {
            offset = 1;
        } else {
            BitsFromReal(generator.type, rounded, &bits);
            offset = BitsOfOffset(generator, bits);   // the bias flips back
        }
    }
    PlaceOffset(generator, offset, cells);
}

// One step of an integer counter: its offset moved by the step's magnitude, back to start when
// it would pass the limit or leave the type.
uint64_t NextCounterOffset(const Generator& generator, uint64_t offset)
{
    const uint64_t magnitude = generator.second.offset;
    const uint64_t limit = generator.third.offset;
    if (generator.stepDown) {
        return offset < limit || offset - limit < magnitude ? generator.first.offset : offset - magnitude;
    }
    return offset > limit || limit - offset < magnitude ? generator.first.offset : offset + magnitude;
}

double NextCounterReal(const Generator& generator, double value)
{
    const double next = value + generator.second.real;
    const bool past = generator.second.real < 0 ? next < generator.third.real : next > generator.third.real;
    return past ? generator.first.real : next;
}

void StepCounter(const Generator& generator, GeneratorState* state, uint64_t periods, uint16_t* cells)
{
    if (!state->started) {
        state->started = true;
        state->counterOffset = generator.first.offset;
        state->counterReal = generator.first.real;
        periods = 0;
    }
    for (uint64_t step = 0; step < periods; ++step) {
        state->counterOffset = NextCounterOffset(generator, state->counterOffset);
        state->counterReal = NextCounterReal(generator, state->counterReal);
    }
    if (IsReal(generator)) {
        PlaceReal(generator, state->counterReal, cells);
    } else {
        PlaceOffset(generator, state->counterOffset, cells);
    }
}

void StepRandom(const Generator& generator, GeneratorState* state, uint16_t* cells)
{
    const uint64_t draw = NextFaultRandom(&state->random);
    if (IsReal(generator)) {
        // 53 random bits, a uniform double in [0, 1).
        const double unit = static_cast<double>(draw >> 11) * (1.0 / 9007199254740992.0);
        PlaceReal(generator, generator.first.real + unit * generator.third.real - unit * generator.first.real, cells);
        return;
    }
    const uint64_t span = generator.third.offset - generator.first.offset;
    // The bias of a 64-bit draw taken modulo a smaller span is below 2^-32 for every 32-bit type.
    PlaceOffset(generator, span == UINT64_MAX ? draw : generator.first.offset + draw % (span + 1), cells);
}

// The wave at `phase` (0 to 1 over its period), from -1 to 1, rising through 0 at phase 0 like
// the sine; the sawtooth rises from -1 to 1 over the whole period.
double WaveAt(GeneratorKind kind, double phase)
{
    switch (kind) {
    case GeneratorKind::kSine:
        return std::sin(2 * std::numbers::pi * phase);
    case GeneratorKind::kTriangle:
        return phase < 0.25 ? 4 * phase : phase < 0.75 ? 2 - 4 * phase : 4 * phase - 4;
    case GeneratorKind::kSawtooth:
        return 2 * phase - 1;
    default:
        return phase < 0.5 ? 1 : -1;
    }
}

void StepWave(const Generator& generator, const GeneratorState& state, uint64_t tick, uint16_t* cells)
{
    const uint64_t within = (tick - state.startTick) % generator.periodMilliseconds;
    const double phase = static_cast<double>(within) / generator.periodMilliseconds;
    PlaceReal(generator, generator.second.real + generator.first.real * WaveAt(generator.kind, phase), cells);
}

void StepTime(const Generator& generator, const GeneratorClock& clock, uint16_t* cells)
{
    if (generator.isTimeOfDay) {
        cells[0] = static_cast<uint16_t>(clock.hour);
        cells[1] = static_cast<uint16_t>(clock.minute);
        cells[2] = static_cast<uint16_t>(clock.second);
        return;
    }
    const uint64_t seconds = static_cast<uint64_t>(clock.unixSeconds);
    PlaceBits(generator, generator.type == ValueType::kUint32 ? seconds & 0xFFFFFFFFu : seconds, cells);
}

// Samples the source; a change joins the ones in flight, and those whose delay has passed reach
// the target, which then shows the latest of them.
bool StepCopy(const Generator& generator, GeneratorState* state, uint64_t tick, const uint16_t* source,
              uint16_t* cells)
{
    const size_t size = sizeof(uint16_t) * generator.cellCount;
    if (!state->sourceSeen || std::memcmp(state->lastSource, source, size) != 0) {
        state->sourceSeen = true;
        std::memcpy(state->lastSource, source, size);
        int slot = (state->pendingFirst + state->pendingCount) % kCopyPendingChanges;
        if (state->pendingCount == kCopyPendingChanges) {
            slot = (state->pendingFirst + kCopyPendingChanges - 1) % kCopyPendingChanges;   // merge into the latest
        } else {
            ++state->pendingCount;
        }
        state->pendingTick[slot] = tick;
        std::memcpy(state->pendingCells[slot], source, size);
    }
    while (state->pendingCount > 0 &&
           tick - state->pendingTick[state->pendingFirst] >= generator.delayMilliseconds) {
        std::memcpy(state->target, state->pendingCells[state->pendingFirst], size);
        state->targetSet = true;
        state->pendingFirst = (state->pendingFirst + 1) % kCopyPendingChanges;
        --state->pendingCount;
    }
    std::memcpy(cells, state->target, size);
    return state->targetSet;
}

}  // namespace

void StartGeneratorState(const Generator& generator, uint64_t tick, GeneratorState* state)
{
    *state = GeneratorState{};
    state->startTick = tick;
    state->nextDueTick = tick;
    state->random.state = generator.seed;
}

void ResumeGeneratorState(uint64_t tick, GeneratorState* state)
{
    state->nextDueTick = tick;
}

bool StepGenerator(const Generator& generator, GeneratorState* state, const GeneratorClock& clock,
                   const uint16_t* source, uint16_t* cells)
{
    if (clock.tick < state->nextDueTick) {
        return false;
    }
    // Late updates are caught up in the counter's steps, not written one by one.
    const uint64_t periods = 1 + (clock.tick - state->nextDueTick) / generator.updateMilliseconds;
    state->nextDueTick += periods * generator.updateMilliseconds;
    switch (generator.kind) {
    case GeneratorKind::kCounter:
        StepCounter(generator, state, periods, cells);
        return true;
    case GeneratorKind::kRandom:
        StepRandom(generator, state, cells);
        return true;
    case GeneratorKind::kTime:
        StepTime(generator, clock, cells);
        return true;
    case GeneratorKind::kCopy:
        return StepCopy(generator, state, clock.tick, source, cells);
    default:
        StepWave(generator, *state, clock.tick, cells);
        return true;
    }
}
