#pragma once

#include <cstdint>

#include "console/grid_format.h"
#include "console/hex_dump.h"
#include "console/view_position.h"
#include "server/slot_table.h"

// What one refresh cycle writes into the main window, composed on the refresh thread and handed
// to the window thread in one call.

inline constexpr int kNumberTextSize = 12;   // an unsigned 32-bit decimal and its terminator

// A grid cell's text: a value in any format, binary as two lines of eight digits.
inline constexpr int kGridTextSize = kValueTextSize + 2;
// The registers the grid reads: its thirty cells and the rest of a four-register value that
// starts in its last cells.
inline constexpr int kGridReadCount = kGridCells + 3;

// The statistics controls of the viewed connection, in the order of kStatisticsControls.
inline constexpr int kStatisticsCount = 9;
inline constexpr int kStatisticsControls[kStatisticsCount] = {2101, 2201, 2301, 2401, 1234, 1235, 1236, 1237, 1238};

enum class CaptionChange { None, ShowRunning, ShowStopped };

struct RefreshTexts {
    char socketText[kSlotCount][kNumberTextSize];   // 1901 + i
    char peerText[kSlotCount][kPeerTextSize];       // 2001 + i
    bool monitorShown;                              // false: no View button is checked
    char statistics[kStatisticsCount][kNumberTextSize];
    char requestDump[kHexDumpBufferSize];           // 1226
    char responseDump[kHexDumpBufferSize];          // 1228
    char rowLabel[kGridRows][kNumberTextSize];      // 1300 + row
    char cell[kGridCells][kGridTextSize];           // 1179 + i
    int8_t cellSpan[kGridCells];                    // GridCellSpan of each cell under the format
    bool twoLineCells;                              // binary: each cell shows its high byte over its low
    CaptionChange caption;                          // 1002
};

// The four connection rows and, for the viewed slot (-1: none), its statistics and dumps at tick
// `now`; a free viewed slot empties them.
void ComposeConnectionMonitor(const SlotSnapshot snapshots[kSlotCount], int viewedSlot, uint32_t now,
                              RefreshTexts* texts);

// The grid from its first address, the table's window, its format and the values read from
// `start` on (`valueCount` of them, up to kGridReadCount; fewer only at the end of the table).
// A value's first cell shows "--" when the value runs past the table's end and "----" when part
// of it lies outside the window; the cells it covers are empty and the ones it continues into on
// the next row show kContinuationMark.
void ComposeDataGrid(int32_t start, uint16_t windowFirst, uint16_t windowLast, ValueFormat format,
                     const uint16_t* values, int valueCount, RefreshTexts* texts);

// The Start/Stop caption follows the server only on a transition; *captionShowsRunning is the
// refresh thread's record of what the button shows.
CaptionChange FollowServerState(bool serverRunning, bool* captionShowsRunning);
