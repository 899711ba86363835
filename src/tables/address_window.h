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

// How an address range given as a start and a size (the Configure Data Areas dialog, the command
// line's START:SIZE) measures up: a window holds at least one cell and ends at address 65,535 at
// the latest. Start and size are taken whole, so no sum wraps around.
enum class WindowRange { kFits, kSizeZero, kPastTableEnd };
WindowRange CheckWindowRange(uint64_t start, uint64_t size);

// The window of a range that fits.
AddressWindow WindowOfRange(uint32_t start, uint32_t size);
