#pragma once

#include "console/console_tables.h"
#include "console/refresh_texts.h"
#include "platform/detached_thread.h"

inline constexpr int kRefreshPeriodMilliseconds = 200;

// What the refresh thread reads from the window's controls at the start of a cycle.
struct ViewState {
    int viewedSlot;          // the checked View button 1222 + k, or -1
    DataTable shownTable;    // the checked table button
    ValueFormat format = kPlainFormat;   // the shown table's format
};

// The main window as RefreshThread sees it. Each call is carried out on the window thread and
// returns once the window thread has handled it; RefreshThread holds no lock while it calls.
// Keeping the window behind this interface keeps the thread free of any toolkit, so a race
// detector sees everything it shares.
class RefreshTarget {
public:
    virtual ViewState ReadViewState() = 0;
    virtual void ShowRefresh(const RefreshTexts& texts) = 0;
    // Ends the window: RefreshThread's last call.
    virtual void CloseConsole() = 0;

protected:
    ~RefreshTarget() = default;
};

// Every 200 ms, from the end of one cycle to the start of the next, refreshes the connection
// monitor and the grid and keeps the Start/Stop caption in step with the server; once ExitEvent
// is signalled it stops the control interface and the server, waits for the stop and ends the
// window. The long waits for the stops run here, never on the window thread, so that the log lines
// of the stop still reach the list.
void RefreshThread(RefreshTarget* target);

// One run of RefreshThread on a detached thread: the window it drives and the group it counts
// itself in until its very last act, so that tear-down can wait for it.
struct RefreshThreadRun {
    RefreshTarget* target;
    ThreadGroup* threads;
};

// Starts RefreshThread on a detached thread; 0, or the system's error number. *run must stay
// valid until run->threads is empty.
int StartRefreshThread(RefreshThreadRun* run);
