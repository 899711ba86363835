#pragma once

#include <cstdint>

// Whether the server uses the Modbus application protocol's write limits and code 23 order (write,
// then read) instead of its own (15: 800 coils, 16 and 23: 100 registers; read, then write). One
// word written by the console, the command line or the control interface and read by client
// threads without a lock, like the function enables; off at launch.
bool StandardLimitsInForce();
void SetStandardLimits(bool inForce);

// The write quantities of one request, chosen by one reading of the flag.
struct WriteLimits {
    uint16_t writeCoils;           // code 15
    uint16_t writeRegisters;       // code 16
    uint16_t readWriteWrites;      // code 23's write half
    bool writeBeforeRead;          // code 23's order
};

WriteLimits CurrentWriteLimits();
