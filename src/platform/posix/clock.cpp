#include "platform/clock.h"

#include <ctime>

uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
}

void SleepMilliseconds(int milliseconds)
{
    timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal that ends the sleep early only makes the caller look at its clock sooner.
    nanosleep(&wait, nullptr);
}

TimeOfDay LocalTimeOfDay()
{
    return LocalTimeOfDayAt(WallClockNow());
}

WallTime WallClockNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return WallTime{static_cast<int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

TimeOfDay LocalTimeOfDayAt(const WallTime& time)
{
    const time_t seconds = static_cast<time_t>(time.seconds);
    tm local{};
    localtime_r(&seconds, &local);
    return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec, time.millisecond};
}
