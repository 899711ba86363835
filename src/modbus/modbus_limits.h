#pragma once

#include <cstdint>

// One Modbus/TCP ADU: the 7-byte MBAP header and a PDU of at most 253 bytes.
inline constexpr uint16_t kAduCapacity = 260;
inline constexpr uint16_t kMbapHeaderSize = 7;
inline constexpr uint16_t kMinRequestLength = 8;    // header and a function code

// Quantities each function code accepts (the Modbus application protocol's limits, with the
// write quantities of codes 15, 16 and 23 held lower than the protocol allows).
inline constexpr uint16_t kMaxReadCoils = 2000;         // code 1
inline constexpr uint16_t kMaxReadRegisters = 125;      // codes 3 and 23 (read half)
inline constexpr uint16_t kMaxWriteCoils = 800;         // code 15
inline constexpr uint16_t kMaxWriteRegisters = 100;     // codes 16 and 23 (write half)

inline constexpr uint8_t kExceptionFlag = 0x80;         // set in the function byte of an exception
