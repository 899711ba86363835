#pragma once

#include <condition_variable>
#include <mutex>

// Threads that nobody joins but whose end can still be awaited: every thread started in a group
// counts the group up, and calls LeaveThreadGroup as its very last act, so that tear-down can wait
// until none of them touches shared objects any more.
struct ThreadGroup {
    std::mutex guard;   // guards running
    std::condition_variable ended;
    int running = 0;
};

using ThreadRoutine = void* (*)(void* argument);

// Starts routine(argument) on a new detached thread counted in group; 0, or the error number of
// the failed start (the group is then unchanged).
int StartDetachedThread(ThreadGroup* group, ThreadRoutine routine, void* argument);

// The thread's last call; it must touch nothing shared afterwards.
void LeaveThreadGroup(ThreadGroup* group);

// Waits without time-out until every thread of the group has left it.
void WaitThreadGroupEmpty(ThreadGroup* group);
