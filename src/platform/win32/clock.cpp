#include "platform/clock.h"

#include <windows.h>

namespace {

// FILETIME counts 100 ns steps from 1601-01-01; the wall clock counts from 1970-01-01.
constexpr uint64_t kStepsPerSecond = 10000000u;
constexpr uint64_t kStepsPerMillisecond = 10000u;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600u;

uint64_t StepsOf(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

uint32_t TickCount()
{
    // The system's own 32-bit millisecond counter, wrapping after about 49.7 days like the callers expect.
    return GetTickCount();
}

void SleepMilliseconds(int milliseconds)
{
    Sleep(static_cast<DWORD>(milliseconds));
}

TimeOfDay LocalTimeOfDay()
{
    return LocalTimeOfDayAt(WallClockNow());
}

WallTime WallClockNow()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t steps = StepsOf(now);
    return WallTime{static_cast<int64_t>(steps / kStepsPerSecond - kSecondsFrom1601To1970),
                    static_cast<int>(steps % kStepsPerSecond / kStepsPerMillisecond)};
}

TimeOfDay LocalTimeOfDayAt(const WallTime& time)
{
    const uint64_t steps = (static_cast<uint64_t>(time.seconds) + kSecondsFrom1601To1970) * kStepsPerSecond;
    FILETIME universal{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    // The time zone's rule for that date, daylight saving included.
    if (!FileTimeToSystemTime(&universal, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return TimeOfDay{0, 0, 0, time.millisecond};
    }
    return TimeOfDay{local.wHour, local.wMinute, local.wSecond, time.millisecond};
}
