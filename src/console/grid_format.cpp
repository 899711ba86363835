#include "console/grid_format.h"

#include "console/view_position.h"

namespace {

// What fits in one cell's width in the template font, and what each further cell adds.
constexpr int kCharactersPerCell = 7;
constexpr int kCharactersPerMoreCell = 9;

}  // namespace

int GridCellSpan(int registerCount, int cell)
{
    const int offset = cell % registerCount;
    const int column = cell % kGridColumns;
    if (offset == 0) {
        const int rest = kGridColumns - column;
        return registerCount < rest ? registerCount : rest;
    }
    return column >= offset ? 0 : -1;
}

int GridTextRoom(int span)
{
    return kCharactersPerCell + (span - 1) * kCharactersPerMoreCell;
}
