#include "modbus/decode_request.h"

#include "modbus/bit_packing.h"
#include "modbus/standard_limits.h"
#include "modbus/wire_registers.h"
#include "tables/function_enable_table.h"

// Each code's fields are tested in a fixed order, the first failure answering 3, and only then is
// the received length compared with what the request needs. The fields may therefore be read from
// bytes that never arrived, but every read stays inside the 260-byte buffer: the furthest fixed
// field ends at offset 16, and values are copied only after their byte count has been checked
// against a quantity that is itself within its limit (the standard limits' largest runs, 1,968
// coils, 123 or 121 registers, end at offset 259).

namespace {

bool QuantityWithin(uint16_t quantity, uint16_t limit)
{
    return quantity >= 1 && quantity <= limit;
}

// A request may be longer than it needs (the rest is ignored) but not shorter.
ExceptionCode LengthTest(uint16_t length, uint32_t expectedLength)
{
    return length < expectedLength ? kIllegalDataValue : kNoException;
}

// Codes 1 to 4: address and quantity, the quantity within the code's limit.
ExceptionCode DecodeRead(const uint8_t* adu, uint16_t length, RequestRecord* record, uint16_t limit)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->quantity = ReadWireWord(adu + kQuantityOffset);
    if (!QuantityWithin(record->quantity, limit)) {
        return kIllegalDataValue;
    }
    return LengthTest(length, kFixedRequestLength);
}

ExceptionCode DecodeWriteSingleCoil(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->registers[0] = ReadWireWord(adu + kQuantityOffset);
    if (record->registers[0] != kCoilOnValue && record->registers[0] != kCoilOffValue) {
        return kIllegalDataValue;
    }
    record->coils[0] = record->registers[0] == kCoilOnValue ? 1 : 0;
    record->quantity = 1;
    return LengthTest(length, kFixedRequestLength);
}

ExceptionCode DecodeWriteSingleRegister(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->registers[0] = ReadWireWord(adu + kQuantityOffset);
    record->quantity = 1;
    return LengthTest(length, kFixedRequestLength);
}

ExceptionCode DecodeWriteCoils(const uint8_t* adu, uint16_t length, RequestRecord* record, uint16_t limit)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->quantity = ReadWireWord(adu + kQuantityOffset);
    // The byte count is compared with the full computed value: a quantity needing more than 255
    // bytes can never match one byte.
    const uint32_t byteCount = adu[kCoilByteCountOffset];
    if (byteCount != (uint32_t{record->quantity} + kBitsPerByte - 1) / kBitsPerByte) {
        return kIllegalDataValue;
    }
    if (!QuantityWithin(record->quantity, limit)) {
        return kIllegalDataValue;
    }
    UnpackBits(adu + kCoilValuesOffset, record->coils, record->quantity);
    return LengthTest(length, kCoilValuesOffset + byteCount);
}

// The register write run of code 16 (at offset 8, into the main block) and of code 23's write
// half (at offset 12, into writePart): address, quantity, byte count, values. The run is the
// request's last field, so its end is the request's expected length.
ExceptionCode DecodeRegisterWriteRun(const uint8_t* adu, uint16_t length, uint16_t runOffset,
                                     RequestBlock* block, uint16_t limit)
{
    block->address = ReadWireWord(adu + runOffset);
    block->quantity = ReadWireWord(adu + runOffset + kRunQuantityDistance);
    const uint32_t byteCount = adu[runOffset + kRunByteCountDistance];
    if (byteCount != uint32_t{block->quantity} * kBytesPerRegister) {
        return kIllegalDataValue;
    }
    if (!QuantityWithin(block->quantity, limit)) {
        return kIllegalDataValue;
    }
    const uint16_t valuesOffset = runOffset + kRunValuesDistance;
    DecodeWireRegisters(adu + valuesOffset, block->registers, block->quantity);
    return LengthTest(length, valuesOffset + byteCount);
}

ExceptionCode DecodeMaskWriteRegister(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->registers[0] = ReadWireWord(adu + kAndMaskOffset);
    record->registers[1] = ReadWireWord(adu + kOrMaskOffset);
    return LengthTest(length, kMaskWriteRequestLength);
}

ExceptionCode DecodeReadWriteRegisters(const uint8_t* adu, uint16_t length, RequestRecord* record,
                                       const WriteLimits& limits)
{
    record->address = ReadWireWord(adu + kAddressOffset);
    record->quantity = ReadWireWord(adu + kQuantityOffset);
    record->writeBeforeRead = limits.writeBeforeRead;
    if (!QuantityWithin(record->quantity, kMaxReadRegisters)) {
        return kIllegalDataValue;
    }
    return DecodeRegisterWriteRun(adu, length, kReadWriteWriteRunOffset, &record->writePart,
                                  limits.readWriteWrites);
}

// Code 8. Without its sub-function a request is malformed (3), and only Return Query Data is
// served (any other sub-function: 1). The length is tested first, as the answer depends on the
// sub-function's value; its data, of any length including none, is echoed whole. The
// sub-function and the data's length are kept in address and quantity.
ExceptionCode DecodeDiagnostics(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    if (length < kDiagnosticsDataOffset) {
        return kIllegalDataValue;
    }
    record->address = ReadWireWord(adu + kSubFunctionOffset);
    if (record->address != kReturnQueryData) {
        return kIllegalFunction;
    }
    record->quantity = static_cast<uint16_t>(length - kDiagnosticsDataOffset);
    return kNoException;
}

// Code 43. A request shorter than MEI type, read device id code and object id is malformed (3),
// tested first since the MEI type decides between answers 1 and 3; another MEI type is not served
// (1); a read device id code other than 1 to 4 is 3. The object id is tested on execution, where
// only individual access refuses one. The read code is kept in quantity, the object id in address.
ExceptionCode DecodeEncapsulatedInterface(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    if (length < kDeviceIdRequestLength) {
        return kIllegalDataValue;
    }
    if (adu[kMeiTypeOffset] != kMeiReadDeviceIdentification) {
        return kIllegalFunction;
    }
    record->quantity = adu[kReadDeviceIdCodeOffset];
    record->address = adu[kObjectIdOffset];
    if (record->quantity < kReadDeviceIdBasic || record->quantity > kReadDeviceIdIndividual) {
        return kIllegalDataValue;
    }
    return kNoException;
}

}  // namespace

ExceptionCode DecodeRequest(const uint8_t* adu, uint16_t length, RequestRecord* record)
{
    record->functionCode = adu[kFunctionCodeOffset];
    // A disabled code and an unimplemented one get the same answer, and the enable test comes
    // before any field is looked at.
    if (!IsFunctionEnabled(record->functionCode)) {
        return kIllegalFunction;
    }
    switch (record->functionCode) {
    case kFunctionReadCoils:
        return DecodeRead(adu, length, record, kMaxReadCoils);
    case kFunctionReadRegisters:
        return DecodeRead(adu, length, record, kMaxReadRegisters);
    case kFunctionReadDiscreteInputs:
        return DecodeRead(adu, length, record, kMaxReadDiscreteInputs);
    case kFunctionReadInputRegisters:
        return DecodeRead(adu, length, record, kMaxReadInputRegisters);
    case kFunctionWriteSingleCoil:
        return DecodeWriteSingleCoil(adu, length, record);
    case kFunctionWriteSingleRegister:
        return DecodeWriteSingleRegister(adu, length, record);
    case kFunctionWriteCoils:
        return DecodeWriteCoils(adu, length, record, CurrentWriteLimits().writeCoils);
    case kFunctionWriteRegisters:
        return DecodeRegisterWriteRun(adu, length, kWriteRunOffset, record, CurrentWriteLimits().writeRegisters);
    case kFunctionMaskWriteRegister:
        return DecodeMaskWriteRegister(adu, length, record);
    case kFunctionReadWriteRegisters:
        return DecodeReadWriteRegisters(adu, length, record, CurrentWriteLimits());
    case kFunctionDiagnostics:
        return DecodeDiagnostics(adu, length, record);
    case kFunctionEncapsulatedInterface:
        return DecodeEncapsulatedInterface(adu, length, record);
    default:
        return kIllegalFunction;
    }
}
