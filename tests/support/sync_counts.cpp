#include "support/sync_counts.h"

int RunningThreadCount(ThreadGroup* group)
{
    std::lock_guard<std::mutex> hold(group->guard);
    return group->running;
}

int SemaphoreCount(CountingSemaphore* semaphore)
{
    std::lock_guard<std::mutex> hold(semaphore->guard);
    return semaphore->count;
}
