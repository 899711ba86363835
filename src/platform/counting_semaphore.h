#pragma once

#include <condition_variable>
#include <mutex>

// A counting semaphore with a maximum, like FreeSlotSemaphore: Release beyond the maximum is refused.
struct CountingSemaphore {
    std::mutex guard;   // guards count and maximum
    std::condition_variable released;
    int count = 0;
    int maximum = 0;
};

void InitSemaphore(CountingSemaphore* semaphore, int initialCount, int maximumCount);
// Returns one count; false (and no change) when the count is already at its maximum.
bool ReleaseSemaphore(CountingSemaphore* semaphore);
// Takes one count, waiting without time-out until one is there.
void AcquireSemaphore(CountingSemaphore* semaphore);
// Takes one count only if one is there now.
bool TryAcquireSemaphore(CountingSemaphore* semaphore);
