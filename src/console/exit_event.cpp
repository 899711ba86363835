#include "console/exit_event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace {

struct ManualResetEvent {
    std::mutex lock;                  // guards signalled
    std::condition_variable changed;
    bool signalled = false;
};

// Written at start-up and tear-down on the window thread, while no other thread uses it.
ManualResetEvent* ExitEvent = nullptr;

}  // namespace

bool CreateExitEvent()
{
    ExitEvent = new (std::nothrow) ManualResetEvent;
    return ExitEvent != nullptr;
}

void DestroyExitEvent()
{
    delete ExitEvent;
    ExitEvent = nullptr;
}

void SignalExitEvent()
{
    {
        std::lock_guard<std::mutex> guard(ExitEvent->lock);
        ExitEvent->signalled = true;
    }
    ExitEvent->changed.notify_all();
}

bool WaitExitEvent(int milliseconds)
{
    std::unique_lock<std::mutex> guard(ExitEvent->lock);
    return ExitEvent->changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                       [] { return ExitEvent->signalled; });
}
