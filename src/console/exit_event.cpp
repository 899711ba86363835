#include "console/exit_event.h"

#include "platform/manual_reset_event.h"

namespace {

ManualResetEvent ExitEvent;

}  // namespace

bool CreateExitEvent()
{
    ResetEvent(&ExitEvent);
    return true;
}

void DestroyExitEvent()
{
    // Nothing to release: the event lives as long as the process, and the next CreateExitEvent
    // (a test's next window) resets it.
}

void SignalExitEvent()
{
    SetEvent(&ExitEvent);
}

bool IsExitEventSignalled()
{
    return IsEventSignalled(&ExitEvent);
}

bool WaitExitEvent(int milliseconds)
{
    return WaitForEventFor(&ExitEvent, milliseconds);
}
