#pragma once

#include <cstdint>

// Milliseconds from an arbitrary start, unsigned 32-bit and wrapping after about 49.7 days;
// differences are taken modulo 2^32.
uint32_t TickCount();

// Blocks the calling thread for about `milliseconds` (0 to 1000 is what its callers ask).
void SleepMilliseconds(int milliseconds);

struct TimeOfDay {
    int hour;
    int minute;
    int second;
    int millisecond;
};

// The local time of day, to the millisecond.
TimeOfDay LocalTimeOfDay();

// A moment of the wall clock. Taking one costs no time-zone work, so a busy path can stamp events
// with it and leave the local time of day to whoever shows them.
struct WallTime {
    int64_t seconds;   // since 1970-01-01 00:00 UTC
    int millisecond;
};

WallTime WallClockNow();

// The local time of day at `time`, to the millisecond.
TimeOfDay LocalTimeOfDayAt(const WallTime& time);
