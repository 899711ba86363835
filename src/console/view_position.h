#pragma once

#include <atomic>
#include <cstdint>

#include "console/console_tables.h"

// The grid shows three rows of ten cells. One scroll position is one row; the highest position,
// 6551, puts address 65,510 at the top, so the grid never starts past the table's last full row.
inline constexpr int kGridColumns = 10;
inline constexpr int kGridRows = 3;
inline constexpr int kGridCells = kGridColumns * kGridRows;
inline constexpr int32_t kGridLineStep = 10;
inline constexpr int32_t kGridPageStep = 30;
inline constexpr int kHighestScrollPosition = 6551;

// The grid's first address for each table, always a multiple of 10 from 0 to 65,510. Written only
// by the window thread; read by the refresh thread and the Edit Values dialog. A reader that sees
// the old start shows the old page for one more refresh, so relaxed order is enough.
extern std::atomic<int32_t> RegisterViewStart;
extern std::atomic<int32_t> CoilViewStart;
extern std::atomic<int32_t> InputRegisterViewStart;
extern std::atomic<int32_t> DiscreteInputViewStart;

// The view start of one table.
std::atomic<int32_t>& ViewStartOf(DataTable table);

// Scroll requests as the scroll bar reports them.
enum ScrollRequest : int {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
    kScrollEnd = 8,
};

// The scroll position for a requested first address: rounded toward zero to a row, then clamped
// to 0..6551.
int ScrollPositionForValue(int32_t value);

// The first address a scroll request asks for, from the current start `base` and the thumb
// position. Answers false for the requests the grid ignores (thumb released, top, bottom, end).
bool ScrollRequestValue(int request, int32_t base, int thumbPosition, int32_t* value);

// The value "Go to" passes on for the number typed in its box. Numbers from 2,147,483,648 up
// would turn negative as a signed 32-bit value and land on the first row; like every other
// number past the table they go to the last row instead.
int32_t GoToValue(uint32_t typed);
