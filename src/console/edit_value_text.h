#pragma once

#include <cstdint>

#include "console/console_tables.h"
#include "console/grid_format.h"
#include "console/refresh_texts.h"
#include "console/view_position.h"

inline constexpr int kEditValueMessageSize = 160;

// The thirty Edit Values boxes read together, before anything is written, so that one refused
// box leaves every cell as it was.
struct EditValuesReading {
    int refusedBox;                          // the first refused box, 0 to 29, or -1
    char message[kEditValueMessageSize];     // the operator's message for the refused box
    int registerCount;                       // the registers of one value in the format
    bool filled[kGridCells];                 // a value starts at box i: values[i] on; none when a box is refused
    uint16_t values[kGridReadCount];
};

// Reads the boxes for the cells from `viewStart` on in the table's format (registers only; the
// bit tables read 0 or 1). Only the box of a value's first cell counts (GridCellSpan), and only
// when the whole value lies in the table. A box that is empty or holds only blanks leaves its
// value alone. Otherwise its text must be a value of the format; the first box that is not is
// refused, named by the table's cell, its address and what the format accepts.
EditValuesReading ReadEditValues(const char* const texts[kGridCells], DataTable table, int32_t viewStart,
                                 ValueFormat format = kPlainFormat);

// Whether box `box` takes a value: it starts one (GridCellSpan) that lies wholly in the table.
bool EditBoxTakesValue(ValueFormat format, int32_t viewStart, int box);
