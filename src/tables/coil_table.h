#pragma once

#include <cstdint>

#include "tables/address_window.h"

// The 65,536 coils, one byte each (0 or 1), and the coil AddressWindow, both guarded by
// CoilLock, a re-entrant lock. Guarded operations serve Modbus requests and refuse, as a whole,
// any run outside the window; Peek/Poke serve the console and ignore the window.

void InitCoilTable();     // all coils 0, window 0..65,535
void DestroyCoilTable();

void GetCoilWindow(uint16_t* first, uint16_t* last);
void SetCoilWindow(uint16_t first, uint16_t last);

bool ReadCoils(uint32_t address, uint32_t count, uint8_t* dest);
bool WriteCoils(uint32_t address, uint32_t count, const uint8_t* src);

// The caller keeps address + count within the table.
void PeekCoils(uint32_t address, uint32_t count, uint8_t* dest);
void PokeCoils(uint32_t address, uint32_t count, const uint8_t* src);
