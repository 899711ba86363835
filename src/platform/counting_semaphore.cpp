#include "platform/counting_semaphore.h"

void InitSemaphore(CountingSemaphore* semaphore, int initialCount, int maximumCount)
{
    std::lock_guard<std::mutex> hold(semaphore->guard);
    semaphore->count = initialCount;
    semaphore->maximum = maximumCount;
}

bool ReleaseSemaphore(CountingSemaphore* semaphore)
{
    std::lock_guard<std::mutex> hold(semaphore->guard);
    if (semaphore->count >= semaphore->maximum) {
        return false;
    }
    ++semaphore->count;
    semaphore->released.notify_one();
    return true;
}

void AcquireSemaphore(CountingSemaphore* semaphore)
{
    std::unique_lock<std::mutex> hold(semaphore->guard);
    semaphore->released.wait(hold, [semaphore] { return semaphore->count > 0; });
    --semaphore->count;
}

bool TryAcquireSemaphore(CountingSemaphore* semaphore)
{
    std::lock_guard<std::mutex> hold(semaphore->guard);
    if (semaphore->count == 0) {
        return false;
    }
    --semaphore->count;
    return true;
}
