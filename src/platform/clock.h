#pragma once

#include <cstdint>

// Milliseconds from an arbitrary start, unsigned 32-bit and wrapping after about 49.7 days;
// differences are taken modulo 2^32.
uint32_t TickCount();

struct TimeOfDay {
    int hour;
    int minute;
    int second;
    int millisecond;
};

// The local time of day, to the millisecond.
TimeOfDay LocalTimeOfDay();
