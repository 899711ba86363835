#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

// The console's control events take the place of the stop signals: Ctrl+C, Ctrl+Break and the
// console window's close. The handler runs on a thread of its own that the system starts; it only
// records the event and wakes the waiting thread, which does the orderly stop.

namespace {

// The auto-reset event that wakes WaitForStopSignal; created by BlockStopSignals before any other
// thread exists and never closed.
HANDLE StopEvent = nullptr;
// The signal number of the last control event not yet taken, 0 when none.
std::atomic<int> PendingSignal{0};

int SignalOfControlEvent(DWORD controlType)
{
    switch (controlType) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    case CTRL_CLOSE_EVENT:
        return SIGTERM;
    default:
        return 0;
    }
}

BOOL WINAPI TakeControlEvent(DWORD controlType)
{
    int signal = SignalOfControlEvent(controlType);
    if (signal == 0) {
        return FALSE;   // log-off and shut-down: the system's default
    }
    PendingSignal.store(signal);
    SetEvent(StopEvent);
    if (controlType == CTRL_CLOSE_EVENT) {
        // The system ends the process as soon as this handler returns from a close; waiting here
        // lets the orderly stop finish and the process end with its own exit code (the system
        // allows a few seconds).
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

int BlockStopSignals()
{
    StopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (StopEvent == nullptr) {
        return static_cast<int>(GetLastError());
    }
    if (!SetConsoleCtrlHandler(TakeControlEvent, TRUE)) {
        return static_cast<int>(GetLastError());
    }
    return 0;
}

int WaitForStopSignal(int milliseconds)
{
    if (StopEvent == nullptr) {
        Sleep(static_cast<DWORD>(milliseconds));
        return 0;
    }
    WaitForSingleObject(StopEvent, static_cast<DWORD>(milliseconds));
    return PendingSignal.exchange(0);
}

const char* StopRequestNames()
{
    return "Ctrl+C, Ctrl+Break or the console's close";
}
