#pragma once

#include <cstdint>

#include "modbus/modbus_limits.h"

// One decoded request. Register values are native 16-bit; coils are one byte each, 0 or 1.
// The same arrays receive the values that a read returns.
struct RequestBlock {
    uint8_t functionCode;
    uint16_t address;
    uint16_t quantity;
    uint16_t registers[kMaxReadRegisters];
    uint8_t coils[kMaxReadCoils];
};

// Code 23 carries its write half in writePart; every other code uses only the main block.
struct RequestRecord : RequestBlock {
    RequestBlock writePart;
    // Code 23 under standard limits writes its run before it reads, so that the read answers what
    // was just written; decoding sets it from the same reading of the flag that chose the limits.
    bool writeBeforeRead;
};
