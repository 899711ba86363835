#pragma once

// ExitEvent: a manual-reset event, not signalled at start-up, signalled once when the operator
// closes the main window and never reset. RefreshThread waits on it between its cycles.

// Makes the event ready, not signalled; false when it cannot be made (the program then ends at
// start-up). The event itself is process-wide storage, so this start-up step cannot fail here.
bool CreateExitEvent();
void DestroyExitEvent();

void SignalExitEvent();

// True once the operator has closed the window; never waits.
bool IsExitEventSignalled();

// Waits up to `milliseconds` for the event; true when it is signalled, false on time-out.
bool WaitExitEvent(int milliseconds);
