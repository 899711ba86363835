#include "platform/monotonic_clock.h"

#include <windows.h>

uint64_t MonotonicMilliseconds()
{
    // The 64-bit tick count never wraps within a process's life, unlike GetTickCount's 49.7 days.
    return GetTickCount64();
}
