#include "tables/discrete_input_table.h"

#include "tables/guarded_table.h"

namespace {

// Its lock is DiscreteInputLock.
GuardedTable<uint8_t> DiscreteInputs;

}  // namespace

void InitDiscreteInputTable() { ResetTable(DiscreteInputs); }

// DiscreteInputLock lives in static storage for the whole process, so there is nothing to release.
void DestroyDiscreteInputTable() {}

void GetDiscreteInputWindow(uint16_t* first, uint16_t* last) { GetTableWindow(DiscreteInputs, first, last); }

void SetDiscreteInputWindow(uint16_t first, uint16_t last) { SetTableWindow(DiscreteInputs, first, last); }

bool ReadDiscreteInputs(uint32_t address, uint32_t count, uint8_t* dest)
{
    return ReadWindowed(DiscreteInputs, address, count, dest);
}

void PeekDiscreteInputs(uint32_t address, uint32_t count, uint8_t* dest) { PeekTable(DiscreteInputs, address, count, dest); }

void PokeDiscreteInputs(uint32_t address, uint32_t count, const uint8_t* src) { PokeTable(DiscreteInputs, address, count, src); }
