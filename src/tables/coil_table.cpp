#include "tables/coil_table.h"

#include "tables/guarded_table.h"

namespace {

// Its lock is CoilLock.
GuardedTable<uint8_t> Coils;

}  // namespace

void InitCoilTable() { ResetTable(Coils); }

// CoilLock lives in static storage for the whole process, so there is nothing to release.
void DestroyCoilTable() {}

void GetCoilWindow(uint16_t* first, uint16_t* last) { GetTableWindow(Coils, first, last); }

void SetCoilWindow(uint16_t first, uint16_t last) { SetTableWindow(Coils, first, last); }

bool ReadCoils(uint32_t address, uint32_t count, uint8_t* dest) { return ReadWindowed(Coils, address, count, dest); }

bool WriteCoils(uint32_t address, uint32_t count, const uint8_t* src)
{
    return WriteWindowed(Coils, address, count, src);
}

void PeekCoils(uint32_t address, uint32_t count, uint8_t* dest) { PeekTable(Coils, address, count, dest); }

void PokeCoils(uint32_t address, uint32_t count, const uint8_t* src) { PokeTable(Coils, address, count, src); }
