#pragma once

#include <cstdint>

#include "values/value_text.h"

// How the grid and the Edit Values dialog lay a register format over their thirty cells. Values
// follow one another from the grid's first address, so "Go to" a value's first register shows it
// in the first cell; a value of two or four registers is shown once, in a box that spans its
// cells within the row, and the cells it carries over into the next row show a continuation mark.

// The format a table starts with, and the only one the bit tables have.
inline constexpr ValueFormat kPlainFormat{ValueTextKind::kUnsigned, ValueOrder::kAbcd};

// The mark of a cell that continues a value begun on the row above: two middle dots (Latin-1).
inline constexpr const char* kContinuationMark = "\xB7\xB7";

// Cell `cell` (0 to 29) under a format whose values span `registerCount` registers: how many cells
// of its row its box covers when the cell starts a value (1 to 4), 0 when the box of the value's
// first cell covers it, -1 when it continues a value begun on the row above.
int GridCellSpan(int registerCount, int cell);

// The characters a value's text may take in a box that spans `span` cells.
int GridTextRoom(int span);
