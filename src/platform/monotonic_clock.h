#pragma once

#include <cstdint>

// Milliseconds of the monotonic clock as 64 bits, for schedules that must not wrap: the value
// generators' due times and wave phases run for as long as the process does.
uint64_t MonotonicMilliseconds();
