#include "console/main_window.h"

#include "console/exit_event.h"
#include "platform/clock.h"
#include "server/server_control.h"
#include "tables/coil_table.h"
#include "tables/register_table.h"

namespace {

void RefreshConnectionMonitor(const ViewState& view, RefreshTexts* texts)
{
    SlotSnapshot snapshots[kSlotCount];
    for (int i = 0; i < kSlotCount; ++i) {
        SnapshotSlot(i, &snapshots[i]);
    }
    ComposeConnectionMonitor(snapshots, view.viewedSlot, TickCount(), texts);
}

// Window and values are two separate holds of the table's lock, window first; both are released
// before any control is written.
void RefreshDataGrid(const ViewState& view, RefreshTexts* texts)
{
    const int32_t start = view.registersShown ? RegisterViewStart.load(std::memory_order_relaxed)
                                              : CoilViewStart.load(std::memory_order_relaxed);
    uint16_t first = 0;
    uint16_t last = 0;
    uint16_t values[kGridCells] = {};
    const int64_t remaining = static_cast<int64_t>(kTableSize) - start;
    const int count = remaining < kGridCells ? static_cast<int>(remaining) : kGridCells;
    if (view.registersShown) {
        GetRegisterWindow(&first, &last);
        PeekRegisters(static_cast<uint32_t>(start), static_cast<uint32_t>(count), values);
    } else {
        uint8_t coils[kGridCells] = {};
        GetCoilWindow(&first, &last);
        PeekCoils(static_cast<uint32_t>(start), static_cast<uint32_t>(count), coils);
        for (int i = 0; i < count; ++i) {
            values[i] = coils[i];
        }
    }
    ComposeDataGrid(start, first, last, values, count, texts);
}

}  // namespace

void RefreshThread(MainWindow* window)
{
    bool captionShowsRunning = false;   // matches the template's "&Start Server"
    RefreshTexts texts{};
    while (!WaitExitEvent(kRefreshPeriodMilliseconds)) {
        const ViewState view = window->ReadViewState();
        RefreshConnectionMonitor(view, &texts);
        RefreshDataGrid(view, &texts);
        texts.caption = FollowServerState(IsServerRunning(), &captionShowsRunning);
        window->ShowRefresh(texts);
    }
    StopServer();
    WaitServerStopped();
    window->CloseConsole();
    window->NoteRefreshThreadEnded();
}
