#include "console/refresh_thread.h"

#include "console/exit_event.h"
#include "console/view_position.h"
#include "control/control_server.h"
#include "platform/clock.h"
#include "server/server_control.h"
#include "tables/address_window.h"

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
    const int32_t start = ViewStartOf(view.shownTable).load(std::memory_order_relaxed);
    uint16_t first = 0;
    uint16_t last = 0;
    uint16_t values[kGridReadCount] = {};
    const int64_t remaining = static_cast<int64_t>(kTableSize) - start;
    const int count = remaining < kGridReadCount ? static_cast<int>(remaining) : kGridReadCount;
    GetTableWindow(view.shownTable, &first, &last);
    PeekTable(view.shownTable, static_cast<uint32_t>(start), static_cast<uint32_t>(count), values);
    ComposeDataGrid(start, first, last, view.format, values, count, texts);
}

void* RefreshThreadRoutine(void* argument)
{
    auto* run = static_cast<RefreshThreadRun*>(argument);
    ThreadGroup* threads = run->threads;
    RefreshThread(run->target);
    LeaveThreadGroup(threads);
    return nullptr;
}

}  // namespace

void RefreshThread(RefreshTarget* target)
{
    bool captionShowsRunning = false;   // the button's caption at start: "&Start Server"
    RefreshTexts texts{};
    while (!WaitExitEvent(kRefreshPeriodMilliseconds)) {
        const ViewState view = target->ReadViewState();
        RefreshConnectionMonitor(view, &texts);
        RefreshDataGrid(view, &texts);
        texts.caption = FollowServerState(IsServerRunning(), &captionShowsRunning);
        target->ShowRefresh(texts);
    }
    // The control interface first, so that no request of its can start the server again after
    // the stop; its requests' log lines still reach the window meanwhile.
    StopControlServer();
    StopServer();
    WaitServerStopped();
    target->CloseConsole();
}

int StartRefreshThread(RefreshThreadRun* run)
{
    return StartDetachedThread(run->threads, RefreshThreadRoutine, run);
}
