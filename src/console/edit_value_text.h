#pragma once

#include <cstdint>

#include "console/console_tables.h"
#include "console/view_position.h"

inline constexpr int kEditValueMessageSize = 96;

// The thirty Edit Values boxes read together, before anything is written, so that one refused
// box leaves every cell as it was.
struct EditValuesReading {
    int refusedBox;                          // the first refused box, 0 to 29, or -1
    char message[kEditValueMessageSize];     // the operator's message for the refused box
    bool filled[kGridCells];                 // the cell gets values[i]; none when a box is refused
    uint16_t values[kGridCells];
};

// Reads the boxes for the cells from `viewStart` on. A box that is empty or holds only blanks
// leaves its cell alone, and so does every box past address 65,535. Otherwise the box's whole
// text, blanks around it allowed, must be a whole number from 0 to 65535 for a register, 0 or 1
// for a bit (coil or discrete input); the first box that is not is refused, named by the table's
// cell, its address and the allowed range.
EditValuesReading ReadEditValues(const char* const texts[kGridCells], DataTable table, int32_t viewStart);
