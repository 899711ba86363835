#pragma once

#include <condition_variable>
#include <mutex>

// An event that stays signalled until reset, like ServerStoppedEvent and ExitEvent: every waiter
// passes while it is signalled.
struct ManualResetEvent {
    std::mutex guard;   // guards signalled
    std::condition_variable changed;
    bool signalled = false;
};

void SetEvent(ManualResetEvent* event);
void ResetEvent(ManualResetEvent* event);
bool IsEventSignalled(ManualResetEvent* event);      // a wait with time-out 0
void WaitForEvent(ManualResetEvent* event);          // no time-out
bool WaitForEventFor(ManualResetEvent* event, int milliseconds);   // true when signalled in time
