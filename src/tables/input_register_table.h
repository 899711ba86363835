#pragma once

#include <cstdint>

#include "tables/address_window.h"

// The 65,536 input registers in native byte order and the input register AddressWindow, both
// guarded by InputRegisterLock, a re-entrant lock. Modbus clients only read them, and a read
// outside the window is refused as a whole; the operator sets them through Poke, which, like Peek,
// ignores the window.

void InitInputRegisterTable();     // all input registers 0, window 0..65,535
void DestroyInputRegisterTable();

void GetInputRegisterWindow(uint16_t* first, uint16_t* last);
void SetInputRegisterWindow(uint16_t first, uint16_t last);

bool ReadInputRegisters(uint32_t address, uint32_t count, uint16_t* dest);

// The caller keeps address + count within the table.
void PeekInputRegisters(uint32_t address, uint32_t count, uint16_t* dest);
void PokeInputRegisters(uint32_t address, uint32_t count, const uint16_t* src);
