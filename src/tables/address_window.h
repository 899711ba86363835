#pragma once

#include <cstdint>

// Number of cells in each data table: every 16-bit Modbus address has one.
inline constexpr uint32_t kTableSize = 65536;

// The run of addresses that Modbus requests may touch in one table, both ends inclusive.
struct AddressWindow {
    uint16_t first;
    uint16_t last;
};

// True when the run (address, count) lies inside the window. Computed in 64 bits on the
// zero-extended values, so a run that would pass address 65,535 is refused instead of wrapping to 0.
bool RunInsideWindow(const AddressWindow& window, uint32_t address, uint32_t count);
