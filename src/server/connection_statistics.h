#pragma once

#include <cstdint>

#include "server/slot_table.h"

// What the console's connection monitor and the control interface's status show for a connection,
// each value an unsigned 32-bit number (the console's control for it in the comment).
struct ConnectionStatistics {
    uint32_t bytesReceived;              // 2101: low 32 bits of the 64-bit counter
    uint32_t bytesTransmitted;           // 2201: low 32 bits
    uint32_t acceptedRequests;           // 2301
    uint32_t rejectedRequests;           // 2401
    uint32_t requestsPerSecond;          // 1234
    uint32_t connectSeconds;             // at least 1
    uint32_t connectMinutes;             // 1235
    uint32_t idleSeconds;                // 1236
    uint32_t bytesReceivedPerSecond;     // 1237: from all 64 bits
    uint32_t bytesTransmittedPerSecond;  // 1238: from all 64 bits
};

// Milliseconds to the nearest second, halves going up; 64-bit so that the +500 cannot overflow.
uint64_t RoundToSeconds(uint32_t milliseconds);

// The statistics of one snapshot at tick `now`. Tick differences are taken modulo 2^32, so the
// tick counter's wrap does no harm; the connect time counts at least one second, so the averages
// are never divided by zero.
ConnectionStatistics ComputeConnectionStatistics(const SlotSnapshot& snapshot, uint32_t now);
