#include "platform/manual_reset_event.h"

#include <chrono>

void SetEvent(ManualResetEvent* event)
{
    std::lock_guard<std::mutex> hold(event->guard);
    event->signalled = true;
    // Notified under the guard: a waiter that returns and lets the event go out of scope cannot
    // race the notification.
    event->changed.notify_all();
}

void ResetEvent(ManualResetEvent* event)
{
    std::lock_guard<std::mutex> hold(event->guard);
    event->signalled = false;
}

bool IsEventSignalled(ManualResetEvent* event)
{
    std::lock_guard<std::mutex> hold(event->guard);
    return event->signalled;
}

void WaitForEvent(ManualResetEvent* event)
{
    std::unique_lock<std::mutex> hold(event->guard);
    event->changed.wait(hold, [event] { return event->signalled; });
}

bool WaitForEventFor(ManualResetEvent* event, int milliseconds)
{
    std::unique_lock<std::mutex> hold(event->guard);
    return event->changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [event] { return event->signalled; });
}
