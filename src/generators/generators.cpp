#include "generators/generators.h"

#include <cinttypes>
#include <cstring>
#include <mutex>
#include <vector>

#include "generators/generator_value.h"
#include "log/event_log.h"
#include "platform/clock.h"
#include "platform/detached_thread.h"
#include "platform/manual_reset_event.h"
#include "platform/monotonic_clock.h"
#include "platform/thread_name.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

struct GeneratorEntry {
    uint32_t id;
    Generator generator;
    GeneratorState state;
};

std::mutex GeneratorsLock;   // guards everything below but the event and the group
GeneratorEntry GeneratorEntries[kMaxGeneratorCount];
int EntryCount = 0;
uint32_t NextGeneratorId = 1;
bool StopRequested = false;

// Set to wake the thread early: a generator came or went, or the server stops.
ManualResetEvent GeneratorWakeEvent;
ThreadGroup GeneratorThreads;

void PeekCells(GeneratorTable table, uint16_t address, int count, uint16_t* cells)
{
    uint8_t bits[kMaxGeneratedCells] = {};
    switch (table) {
    case GeneratorTable::kCoils:
        PeekCoils(address, count, bits);
        break;
    case GeneratorTable::kDiscreteInputs:
        PeekDiscreteInputs(address, count, bits);
        break;
    case GeneratorTable::kInputRegisters:
        PeekInputRegisters(address, count, cells);
        return;
    case GeneratorTable::kRegisters:
        PeekRegisters(address, count, cells);
        return;
    }
    for (int index = 0; index < count; ++index) {
        cells[index] = bits[index];
    }
}

// One hold of the table's lock for the whole value.
void PokeCells(GeneratorTable table, uint16_t address, int count, const uint16_t* cells)
{
    uint8_t bits[kMaxGeneratedCells] = {};
    for (int index = 0; index < count; ++index) {
        bits[index] = static_cast<uint8_t>(cells[index] & 1);
    }
    switch (table) {
    case GeneratorTable::kCoils:
        PokeCoils(address, count, bits);
        break;
    case GeneratorTable::kDiscreteInputs:
        PokeDiscreteInputs(address, count, bits);
        break;
    case GeneratorTable::kInputRegisters:
        PokeInputRegisters(address, count, cells);
        break;
    case GeneratorTable::kRegisters:
        PokeRegisters(address, count, cells);
        break;
    }
}

GeneratorClock ReadGeneratorClock()
{
    const WallTime wall = WallClockNow();
    const TimeOfDay local = LocalTimeOfDayAt(wall);
    return GeneratorClock{MonotonicMilliseconds(), wall.seconds, local.hour, local.minute, local.second};
}

// Writes every due generator; answers the milliseconds until the next one is due, or -1 when
// there is none. Under GeneratorsLock.
int64_t WriteDueGenerators(const GeneratorClock& clock)
{
    uint64_t nextDue = UINT64_MAX;
    for (int index = 0; index < EntryCount; ++index) {
        GeneratorEntry& entry = GeneratorEntries[index];
        const Generator& generator = entry.generator;
        uint16_t source[kMaxGeneratedCells] = {};
        uint16_t cells[kMaxGeneratedCells] = {};
        if (clock.tick >= entry.state.nextDueTick) {
            if (generator.kind == GeneratorKind::kCopy) {
                PeekCells(generator.fromTable, generator.fromAddress, generator.cellCount, source);
            }
            if (StepGenerator(generator, &entry.state, clock, source, cells)) {
                PokeCells(generator.table, generator.address, generator.cellCount, cells);
            }
        }
        nextDue = entry.state.nextDueTick < nextDue ? entry.state.nextDueTick : nextDue;
    }
    if (nextDue == UINT64_MAX) {
        return -1;
    }
    return nextDue > clock.tick ? static_cast<int64_t>(nextDue - clock.tick) : 0;
}

void* GeneratorThread(void*)
{
    NameCurrentThread("parvane-gen");
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        const uint64_t now = MonotonicMilliseconds();
        for (int index = 0; index < EntryCount; ++index) {
            ResumeGeneratorState(now, &GeneratorEntries[index].state);
        }
    }
    for (;;) {
        // Reset before the set is read: a change after this point sets it again and cuts the wait short.
        ResetEvent(&GeneratorWakeEvent);
        int64_t wait = -1;
        {
            std::lock_guard<std::mutex> hold(GeneratorsLock);
            if (StopRequested) {
                break;
            }
            wait = WriteDueGenerators(ReadGeneratorClock());
        }
        if (wait < 0) {
            WaitForEvent(&GeneratorWakeEvent);
        } else if (wait > 0) {
            WaitForEventFor(&GeneratorWakeEvent, static_cast<int>(wait));
        }
    }
    LeaveThreadGroup(&GeneratorThreads);
    return nullptr;
}

}  // namespace

uint32_t AddGenerator(const std::string& text, std::string* problem, bool quietly)
{
    Generator generator;
    if (!ParseGenerator(text, &generator, problem)) {
        return 0;
    }
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        if (EntryCount == kMaxGeneratorCount) {
            *problem = "there are already " + std::to_string(kMaxGeneratorCount) + " generators, the most there can be";
            return 0;
        }
        id = NextGeneratorId++;
        GeneratorEntry& entry = GeneratorEntries[EntryCount++];
        entry.id = id;
        entry.generator = generator;
        StartGeneratorState(generator, MonotonicMilliseconds(), &entry.state);
    }
    SetEvent(&GeneratorWakeEvent);
    if (!quietly) {
        LogEvent("Generator %" PRIu32 " added: %s", id, generator.text);
    }
    return id;
}

void LogGenerators()
{
    std::vector<GeneratorView> views(kMaxGeneratorCount);
    const int count = CopyGenerators(views.data());
    for (int index = 0; index < count; ++index) {
        LogEvent("Generator %" PRIu32 ": %s", views[index].id, views[index].text);
    }
}

bool RemoveGenerator(uint32_t id)
{
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        int index = 0;
        while (index < EntryCount && GeneratorEntries[index].id != id) {
            ++index;
        }
        if (index == EntryCount) {
            return false;
        }
        for (int later = index + 1; later < EntryCount; ++later) {
            GeneratorEntries[later - 1] = GeneratorEntries[later];
        }
        --EntryCount;
    }
    SetEvent(&GeneratorWakeEvent);
    return true;
}

void ClearGenerators()
{
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        EntryCount = 0;
    }
    SetEvent(&GeneratorWakeEvent);
}

int CopyGenerators(GeneratorView* views)
{
    std::lock_guard<std::mutex> hold(GeneratorsLock);
    for (int index = 0; index < EntryCount; ++index) {
        views[index].id = GeneratorEntries[index].id;
        std::memcpy(views[index].text, GeneratorEntries[index].generator.text, sizeof views[index].text);
    }
    return EntryCount;
}

int StartGeneratorThread()
{
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        StopRequested = false;
    }
    const int error = StartDetachedThread(&GeneratorThreads, GeneratorThread, nullptr);
    if (error != 0) {
        LogSystemError("Unable to create generator thread", error);
    }
    return error;
}

void StopGeneratorThread()
{
    {
        std::lock_guard<std::mutex> hold(GeneratorsLock);
        StopRequested = true;
    }
    SetEvent(&GeneratorWakeEvent);
    WaitThreadGroupEmpty(&GeneratorThreads);
}
