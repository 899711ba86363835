#pragma once

#include <cstdint>

// Events of the whole run that no slot keeps, for the control interface's metrics: they count
// from the program's start, across every start and stop of the server. Any thread.
struct ServerCounters {
    uint64_t connectionsAccepted;
    uint64_t connectionsEvicted;   // kicked to make room for a fifth client
    uint64_t framingViolations;    // headers refused for their protocol identifier or length
    uint64_t unservedUnitRequests; // requests for a unit identifier that is not served
};

void CountConnectionAccepted();
void CountConnectionEvicted();
void CountFramingViolation();
void CountUnservedUnitRequest();
ServerCounters ReadServerCounters();
