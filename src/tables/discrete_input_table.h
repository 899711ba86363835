#pragma once

#include <cstdint>

#include "tables/address_window.h"

// The 65,536 discrete inputs, one byte each (0 or 1), and the discrete input AddressWindow, both
// guarded by DiscreteInputLock, a re-entrant lock. Modbus clients only read them, and a read
// outside the window is refused as a whole; the operator sets them through Poke, which, like Peek,
// ignores the window.

void InitDiscreteInputTable();     // all discrete inputs 0, window 0..65,535
void DestroyDiscreteInputTable();

void GetDiscreteInputWindow(uint16_t* first, uint16_t* last);
void SetDiscreteInputWindow(uint16_t first, uint16_t last);

bool ReadDiscreteInputs(uint32_t address, uint32_t count, uint8_t* dest);

// The caller keeps address + count within the table.
void PeekDiscreteInputs(uint32_t address, uint32_t count, uint8_t* dest);
void PokeDiscreteInputs(uint32_t address, uint32_t count, const uint8_t* src);
