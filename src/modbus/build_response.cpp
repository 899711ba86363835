#include "modbus/build_response.h"

#include <cstring>

#include "modbus/bit_packing.h"
#include "modbus/modbus_limits.h"
#include "modbus/wire_registers.h"

// Responses are written over the request. Replies to writes are the echo of the request's own
// address and value(s), which are still in the buffer at offsets 8 onward, so only their length is
// computed; replies to reads overwrite from offset 8 with a byte count and the values read.

namespace {

// Codes 1 and 2: the bits read, packed.
uint16_t BuildReadCoilsResponse(const RequestRecord* record, uint8_t* adu)
{
    const uint16_t byteCount = (record->quantity + kBitsPerByte - 1) / kBitsPerByte;
    adu[kResponseByteCountOffset] = static_cast<uint8_t>(byteCount);
    PackBits(record->coils, adu + kResponseValuesOffset, record->quantity);
    return kResponseValuesOffset + byteCount;
}

// Codes 3, 4 and 23: the read quantity's values, high byte first.
uint16_t BuildReadRegistersResponse(const RequestRecord* record, uint8_t* adu)
{
    const uint16_t byteCount = record->quantity * kBytesPerRegister;
    adu[kResponseByteCountOffset] = static_cast<uint8_t>(byteCount);
    EncodeWireRegisters(record->registers, adu + kResponseValuesOffset, record->quantity);
    return kResponseValuesOffset + byteCount;
}

// Code 8: the request's sub-function and data, still in the buffer, are the response.
uint16_t BuildDiagnosticsResponse(const RequestRecord* record)
{
    return static_cast<uint16_t>(kDiagnosticsDataOffset + record->quantity);
}

// Code 43: the MEI type and the read device id code stay as received at offsets 8 and 9; from
// the conformity level on come the fields that execution copied (the object id the request named
// at offset 10 is overwritten by them).
uint16_t BuildDeviceIdentificationResponse(const RequestRecord* record, uint8_t* adu)
{
    std::memcpy(adu + kDeviceIdConformityOffset, record->coils, record->quantity);
    return static_cast<uint16_t>(kDeviceIdConformityOffset + record->quantity);
}

}  // namespace

uint16_t BuildResponse(const RequestRecord* record, uint8_t* adu)
{
    switch (record->functionCode) {
    case kFunctionReadCoils:
        return BuildReadCoilsResponse(record, adu);
    case kFunctionReadRegisters:
    case kFunctionReadWriteRegisters:
        return BuildReadRegistersResponse(record, adu);
    case kFunctionReadDiscreteInputs:
        return BuildReadCoilsResponse(record, adu);
    case kFunctionReadInputRegisters:
        return BuildReadRegistersResponse(record, adu);
    case kFunctionWriteSingleCoil:
    case kFunctionWriteSingleRegister:
    case kFunctionWriteCoils:
    case kFunctionWriteRegisters:
        return kEchoResponseLength;
    case kFunctionMaskWriteRegister:
        return kMaskWriteResponseLength;
    case kFunctionDiagnostics:
        return BuildDiagnosticsResponse(record);
    case kFunctionEncapsulatedInterface:
        return BuildDeviceIdentificationResponse(record, adu);
    default:
        // DecodeRequest lets no other code through; should one arrive, answer as for any
        // unimplemented code rather than send whatever the buffer holds.
        return BuildExceptionResponse(kIllegalFunction, record->functionCode, adu);
    }
}

uint16_t BuildExceptionResponse(ExceptionCode code, uint8_t functionCode, uint8_t* adu)
{
    // A code that already has bit 7 set (0x83, say) goes back unchanged.
    adu[kFunctionCodeOffset] = static_cast<uint8_t>(functionCode | kExceptionFlag);
    adu[kExceptionCodeOffset] = code;
    return kExceptionResponseLength;
}
