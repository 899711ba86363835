#include "tables/input_register_table.h"

#include "tables/guarded_table.h"

namespace {

// Its lock is InputRegisterLock.
GuardedTable<uint16_t> InputRegisters;

}  // namespace

void InitInputRegisterTable() { ResetTable(InputRegisters); }

// InputRegisterLock lives in static storage for the whole process, so there is nothing to release.
void DestroyInputRegisterTable() {}

void GetInputRegisterWindow(uint16_t* first, uint16_t* last) { GetTableWindow(InputRegisters, first, last); }

void SetInputRegisterWindow(uint16_t first, uint16_t last) { SetTableWindow(InputRegisters, first, last); }

bool ReadInputRegisters(uint32_t address, uint32_t count, uint16_t* dest)
{
    return ReadWindowed(InputRegisters, address, count, dest);
}

void PeekInputRegisters(uint32_t address, uint32_t count, uint16_t* dest) { PeekTable(InputRegisters, address, count, dest); }

void PokeInputRegisters(uint32_t address, uint32_t count, const uint16_t* src) { PokeTable(InputRegisters, address, count, src); }
