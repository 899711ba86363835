#pragma once

// ExitEvent: a manual-reset event, created not signalled, signalled once when the operator closes
// the main window and never reset. RefreshThread waits on it between its cycles.

// Creates the event; false when it cannot be created (the program then ends at start-up).
bool CreateExitEvent();
void DestroyExitEvent();

void SignalExitEvent();

// Waits up to `milliseconds` for the event; true when it is signalled, false on time-out.
bool WaitExitEvent(int milliseconds);
