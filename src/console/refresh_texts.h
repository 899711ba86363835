#pragma once

#include <cstdint>

#include "console/hex_dump.h"
#include "console/view_position.h"
#include "server/slot_table.h"

// What one refresh cycle writes into the main window, composed on the refresh thread and handed
// to the window thread in one call.

inline constexpr int kNumberTextSize = 12;   // an unsigned 32-bit decimal and its terminator

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
    char cell[kGridCells][kGridCellTextSize];       // 1179 + i
    CaptionChange caption;                          // 1002
};

// The four connection rows and, for the viewed slot (-1: none), its statistics and dumps at tick
// `now`; a free viewed slot empties them.
void ComposeConnectionMonitor(const SlotSnapshot snapshots[kSlotCount], int viewedSlot, uint32_t now,
                              RefreshTexts* texts);

// The grid from its first address, the table's window and the values read from `start` on
// (`valueCount` of them, fewer than 30 only at the end of the table).
void ComposeDataGrid(int32_t start, uint16_t windowFirst, uint16_t windowLast, const uint16_t* values,
                     int valueCount, RefreshTexts* texts);

// The Start/Stop caption follows the server only on a transition; *captionShowsRunning is the
// refresh thread's record of what the button shows.
CaptionChange FollowServerState(bool serverRunning, bool* captionShowsRunning);
