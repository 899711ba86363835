#pragma once

#include <cstdint>

#include "modbus/function_codes.h"

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

// The MBAP header's last byte: the unit (slave) a gateway would forward the request to.
inline constexpr uint16_t kUnitIdOffset = 6;

// Request layout, as offsets from the start of the ADU. Every 16-bit field is big-endian.
inline constexpr uint16_t kFunctionCodeOffset = 7;      // the PDU's first byte
inline constexpr uint16_t kAddressOffset = 8;           // start address (read address of code 23)
inline constexpr uint16_t kQuantityOffset = 10;         // quantity, or the value of codes 5 and 6
inline constexpr uint16_t kAndMaskOffset = 10;          // code 22
inline constexpr uint16_t kOrMaskOffset = 12;           // code 22
inline constexpr uint16_t kWriteRunOffset = 8;          // code 16: address, quantity, count, values
inline constexpr uint16_t kReadWriteWriteRunOffset = 12;  // the same fields for code 23's write half
// Within such a write run: quantity, byte count and values follow the address at these distances.
inline constexpr uint16_t kRunQuantityDistance = 2;
inline constexpr uint16_t kRunByteCountDistance = 4;
inline constexpr uint16_t kRunValuesDistance = 5;
inline constexpr uint16_t kCoilByteCountOffset = 12;    // code 15
inline constexpr uint16_t kCoilValuesOffset = 13;       // code 15

// Shortest complete request of the codes whose length does not depend on a byte count.
inline constexpr uint16_t kFixedRequestLength = 12;     // codes 1, 3, 5, 6
inline constexpr uint16_t kMaskWriteRequestLength = 14; // code 22

// The only two values code 5 accepts.
inline constexpr uint16_t kCoilOnValue = 0xFF00;
inline constexpr uint16_t kCoilOffValue = 0x0000;

inline constexpr uint16_t kBitsPerByte = 8;
inline constexpr uint16_t kBytesPerRegister = 2;

// Response layout. Offsets 0 to 3 and 6 keep the request's identifiers; 4 and 5 (the MBAP length)
// belong to the sender.
inline constexpr uint16_t kResponseByteCountOffset = 8;  // codes 1, 3 and 23
inline constexpr uint16_t kResponseValuesOffset = 9;
inline constexpr uint16_t kExceptionCodeOffset = 8;
inline constexpr uint16_t kExceptionResponseLength = 9;
inline constexpr uint16_t kEchoResponseLength = 12;      // codes 5, 6, 15, 16: address and a word
inline constexpr uint16_t kMaskWriteResponseLength = 14; // code 22: address and both masks
// Largest response: code 1 with 2,000 coils, or codes 3 and 23 with 125 registers.
inline constexpr uint16_t kMaxResponseLength = kResponseValuesOffset + kMaxReadRegisters * kBytesPerRegister;
static_assert(kMaxResponseLength < kAduCapacity);
static_assert((kMaxReadCoils + kBitsPerByte - 1) / kBitsPerByte <= kMaxReadRegisters * kBytesPerRegister);
