#include "modbus/execute_request.h"

#include "modbus/device_identification.h"
#include "modbus/modbus_limits.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

// Each code calls exactly one data-table operation; the operation's window test turns into
// exception 2, and a refused run has changed nothing.

namespace {

ExceptionCode WindowResult(bool accepted)
{
    return accepted ? kNoException : kIllegalDataAddress;
}

ExceptionCode ExecuteReadCoils(RequestRecord* record)
{
    return WindowResult(ReadCoils(record->address, record->quantity, record->coils));
}

ExceptionCode ExecuteReadRegisters(RequestRecord* record)
{
    return WindowResult(ReadRegisters(record->address, record->quantity, record->registers));
}

// Codes 2 and 4 read the tables that clients cannot write, into the same arrays as codes 1 and 3,
// so that one response builder serves each pair.
ExceptionCode ExecuteReadDiscreteInputs(RequestRecord* record)
{
    return WindowResult(ReadDiscreteInputs(record->address, record->quantity, record->coils));
}

ExceptionCode ExecuteReadInputRegisters(RequestRecord* record)
{
    return WindowResult(ReadInputRegisters(record->address, record->quantity, record->registers));
}

// Codes 5 and 15: DecodeRequest left the 0/1 coil values in coils (one of them for code 5).
ExceptionCode ExecuteWriteCoils(const RequestRecord* record)
{
    return WindowResult(WriteCoils(record->address, record->quantity, record->coils));
}

// Codes 6 and 16: the values are in registers (one of them for code 6).
ExceptionCode ExecuteWriteRegisters(const RequestRecord* record)
{
    return WindowResult(WriteRegisters(record->address, record->quantity, record->registers));
}

ExceptionCode ExecuteMaskWriteRegister(const RequestRecord* record)
{
    return WindowResult(MaskWriteRegister(record->address, record->registers[0], record->registers[1]));
}

ExceptionCode ExecuteReadWriteRegisters(RequestRecord* record)
{
    const auto operation = record->writeBeforeRead ? WriteReadRegisters : ReadWriteRegisters;
    return WindowResult(operation(record->address, record->quantity, record->registers,
                                  record->writePart.address, record->writePart.quantity,
                                  record->writePart.registers));
}

// Code 43: the response's fields from the conformity level on are copied into coils under the
// device identification's lock, their length into quantity; an object that individual access
// names and the device lacks is exception 2.
ExceptionCode ExecuteReadDeviceIdentification(RequestRecord* record)
{
    record->quantity = ReadDeviceIdObjects(static_cast<uint8_t>(record->quantity),
                                           static_cast<uint8_t>(record->address), record->coils);
    return record->quantity == 0 ? kIllegalDataAddress : kNoException;
}

}  // namespace

ExceptionCode ExecuteRequest(RequestRecord* record)
{
    switch (record->functionCode) {
    case kFunctionReadCoils:
        return ExecuteReadCoils(record);
    case kFunctionReadRegisters:
        return ExecuteReadRegisters(record);
    case kFunctionReadDiscreteInputs:
        return ExecuteReadDiscreteInputs(record);
    case kFunctionReadInputRegisters:
        return ExecuteReadInputRegisters(record);
    case kFunctionWriteSingleCoil:
    case kFunctionWriteCoils:
        return ExecuteWriteCoils(record);
    case kFunctionWriteSingleRegister:
    case kFunctionWriteRegisters:
        return ExecuteWriteRegisters(record);
    case kFunctionMaskWriteRegister:
        return ExecuteMaskWriteRegister(record);
    case kFunctionReadWriteRegisters:
        return ExecuteReadWriteRegisters(record);
    case kFunctionDiagnostics:
        // Return Query Data touches nothing: the response is the request, still in the buffer.
        return kNoException;
    case kFunctionEncapsulatedInterface:
        return ExecuteReadDeviceIdentification(record);
    default:
        // DecodeRequest lets no other code through.
        return kNoException;
    }
}
