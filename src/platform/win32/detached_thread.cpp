#include "platform/detached_thread.h"

#include <windows.h>

#include <new>

namespace {

// What the new thread runs; CreateThread passes one pointer, so routine and argument travel
// together and the thread frees them before it runs the routine.
struct ThreadStart {
    ThreadRoutine routine;
    void* argument;
};

DWORD WINAPI RunThread(LPVOID parameter)
{
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.routine(start.argument);
    return 0;
}

}  // namespace

int StartDetachedThread(ThreadGroup* group, ThreadRoutine routine, void* argument)
{
    ThreadStart* start = new (std::nothrow) ThreadStart{routine, argument};
    if (start == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    {
        // Counted before the thread exists, so a waiter can never see it missing while it runs.
        std::lock_guard<std::mutex> hold(group->guard);
        ++group->running;
    }
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == nullptr) {
        int error = static_cast<int>(GetLastError());
        delete start;
        LeaveThreadGroup(group);
        return error;
    }
    // Detached: nobody joins it; its end is learned from the group.
    CloseHandle(thread);
    return 0;
}
