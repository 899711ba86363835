#pragma once

#include <cstdint>
#include <string>

// The function codes the server implements (the Modbus application protocol's numbers).
inline constexpr uint8_t kFunctionReadCoils = 1;
inline constexpr uint8_t kFunctionReadDiscreteInputs = 2;
inline constexpr uint8_t kFunctionReadRegisters = 3;
inline constexpr uint8_t kFunctionReadInputRegisters = 4;
inline constexpr uint8_t kFunctionWriteSingleCoil = 5;
inline constexpr uint8_t kFunctionWriteSingleRegister = 6;
inline constexpr uint8_t kFunctionWriteCoils = 15;
inline constexpr uint8_t kFunctionWriteRegisters = 16;
inline constexpr uint8_t kFunctionMaskWriteRegister = 22;
inline constexpr uint8_t kFunctionReadWriteRegisters = 23;

// Codes that ask about the device rather than a table: Diagnostics (sub-function 0, Return Query
// Data, only) and Encapsulated Interface Transport (MEI type 14, Read Device Identification, only).
inline constexpr uint8_t kFunctionDiagnostics = 8;
inline constexpr uint8_t kFunctionEncapsulatedInterface = 43;
inline constexpr uint8_t kDeviceFunctionCodes[] = {kFunctionDiagnostics, kFunctionEncapsulatedInterface};
inline constexpr int kDeviceFunctionCount = static_cast<int>(sizeof kDeviceFunctionCodes);

// The codes of each table, in the order the operator sees them (the Configure Data Areas boxes),
// and all of them in ascending order (the command line's --disable, its messages).
inline constexpr uint8_t kRegisterFunctionCodes[] = {kFunctionReadRegisters, kFunctionWriteSingleRegister,
                                                     kFunctionWriteRegisters, kFunctionMaskWriteRegister,
                                                     kFunctionReadWriteRegisters};
inline constexpr uint8_t kCoilFunctionCodes[] = {kFunctionReadCoils, kFunctionWriteSingleCoil, kFunctionWriteCoils};
inline constexpr uint8_t kDiscreteInputFunctionCodes[] = {kFunctionReadDiscreteInputs};
inline constexpr uint8_t kInputRegisterFunctionCodes[] = {kFunctionReadInputRegisters};
inline constexpr uint8_t kServedFunctionCodes[] = {kFunctionReadCoils,         kFunctionReadDiscreteInputs,
                                                   kFunctionReadRegisters,     kFunctionReadInputRegisters,
                                                   kFunctionWriteSingleCoil,   kFunctionWriteSingleRegister,
                                                   kFunctionDiagnostics,
                                                   kFunctionWriteCoils,        kFunctionWriteRegisters,
                                                   kFunctionMaskWriteRegister, kFunctionReadWriteRegisters,
                                                   kFunctionEncapsulatedInterface};
inline constexpr int kRegisterFunctionCount = static_cast<int>(sizeof kRegisterFunctionCodes);
inline constexpr int kCoilFunctionCount = static_cast<int>(sizeof kCoilFunctionCodes);
inline constexpr int kDiscreteInputFunctionCount = static_cast<int>(sizeof kDiscreteInputFunctionCodes);
inline constexpr int kInputRegisterFunctionCount = static_cast<int>(sizeof kInputRegisterFunctionCodes);
inline constexpr int kServedFunctionCount = static_cast<int>(sizeof kServedFunctionCodes);
// Every served code belongs to exactly one group: a table's, or the device's own (8 and 43).
static_assert(kRegisterFunctionCount + kCoilFunctionCount + kDiscreteInputFunctionCount +
                  kInputRegisterFunctionCount + kDeviceFunctionCount ==
              kServedFunctionCount);

// The served codes as messages list them, e.g. "1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43" with ", ".
std::string ServedFunctionCodesText(const char* separator);

// True for the codes above; every other code is answered with Illegal Function.
constexpr bool IsServedFunctionCode(unsigned code)
{
    for (uint8_t served : kServedFunctionCodes) {
        if (served == code) {
            return true;
        }
    }
    return false;
}
