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

// The read-only tables are read by the same rules as the tables clients may also write.
inline constexpr uint16_t kMaxReadDiscreteInputs = 2000;   // code 2
inline constexpr uint16_t kMaxReadInputRegisters = 125;    // code 4
static_assert(kMaxReadDiscreteInputs <= kMaxReadCoils, "a bit read fills RequestBlock::coils");
static_assert(kMaxReadInputRegisters <= kMaxReadRegisters, "a word read fills RequestBlock::registers");

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
inline constexpr uint16_t kFixedRequestLength = 12;     // codes 1 to 6
inline constexpr uint16_t kMaskWriteRequestLength = 14; // code 22

// The only two values code 5 accepts.
inline constexpr uint16_t kCoilOnValue = 0xFF00;
inline constexpr uint16_t kCoilOffValue = 0x0000;

inline constexpr uint16_t kBitsPerByte = 8;
inline constexpr uint16_t kBytesPerRegister = 2;

// Response layout. Offsets 0 to 3 and 6 keep the request's identifiers; 4 and 5 (the MBAP length)
// belong to the sender.
inline constexpr uint16_t kResponseByteCountOffset = 8;  // codes 1 to 4 and 23
inline constexpr uint16_t kResponseValuesOffset = 9;
inline constexpr uint16_t kExceptionCodeOffset = 8;
inline constexpr uint16_t kExceptionResponseLength = 9;
inline constexpr uint16_t kEchoResponseLength = 12;      // codes 5, 6, 15, 16: address and a word
inline constexpr uint16_t kMaskWriteResponseLength = 14; // code 22: address and both masks
// Largest response: a whole ADU, as code 8 echoes the longest request and code 43 may fill one.
// Of the table codes, code 1 with 2,000 coils or codes 3 and 23 with 125 registers: 259 bytes.
inline constexpr uint16_t kMaxResponseLength = kAduCapacity;
static_assert(kResponseValuesOffset + kMaxReadRegisters * kBytesPerRegister <= kMaxResponseLength);
static_assert((kMaxReadCoils + kBitsPerByte - 1) / kBitsPerByte <= kMaxReadRegisters * kBytesPerRegister);

// Standard limits (--standard-limits): the write quantities the Modbus application protocol
// allows, each the most that fits one 253-byte request PDU. The record's arrays hold them.
inline constexpr uint16_t kStandardMaxWriteCoils = 1968;          // code 15
inline constexpr uint16_t kStandardMaxWriteRegisters = 123;       // code 16
inline constexpr uint16_t kStandardMaxReadWriteWrites = 121;      // code 23 (write half)
static_assert(kStandardMaxWriteCoils <= kMaxReadCoils && kStandardMaxWriteRegisters <= kMaxReadRegisters);

// Code 8, Diagnostics: a 16-bit sub-function and its data. Only Return Query Data is served,
// whose response is the request itself.
inline constexpr uint16_t kSubFunctionOffset = 8;
inline constexpr uint16_t kDiagnosticsDataOffset = 10;            // shortest request: no data
inline constexpr uint16_t kReturnQueryData = 0x0000;

// Code 43 with MEI type 14, Read Device Identification. Request: MEI type, read device id code,
// object id. Response: the same three, then conformity level, more follows, next object id,
// number of objects, and the objects (id, length, value each).
inline constexpr uint16_t kMeiTypeOffset = 8;
inline constexpr uint16_t kReadDeviceIdCodeOffset = 9;
inline constexpr uint16_t kObjectIdOffset = 10;
inline constexpr uint16_t kDeviceIdRequestLength = 11;
inline constexpr uint8_t kMeiReadDeviceIdentification = 14;
inline constexpr uint8_t kReadDeviceIdBasic = 1;        // stream of objects 0 to 2
inline constexpr uint8_t kReadDeviceIdRegular = 2;      // stream of objects 0 to 5
inline constexpr uint8_t kReadDeviceIdExtended = 3;     // stream; this device has no extended objects
inline constexpr uint8_t kReadDeviceIdIndividual = 4;   // one object
inline constexpr uint8_t kDeviceIdConformityLevel = 0x82;   // regular, stream and individual access
inline constexpr uint8_t kDeviceIdMoreFollows = 0xFF;
inline constexpr uint16_t kDeviceIdConformityOffset = 10;   // response fields from here on are computed
inline constexpr uint16_t kDeviceIdObjectsOffset = 14;
inline constexpr uint16_t kDeviceIdObjectHeaderSize = 2;    // object id and length
// A value must fit one response on its own, with its id and length after the response's fields
// (7 + 253 - 14 - 2 = 244 bytes): otherwise individual access could not answer it and a stream
// could never get past it.
inline constexpr uint16_t kDeviceIdObjectsCapacity = kAduCapacity - kDeviceIdObjectsOffset;   // 246
inline constexpr uint16_t kMaxDeviceIdValueLength = kDeviceIdObjectsCapacity - kDeviceIdObjectHeaderSize;
static_assert(kMaxDeviceIdValueLength == 244);
