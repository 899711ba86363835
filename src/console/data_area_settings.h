#pragma once

#include <cstdint>

#include "modbus/function_codes.h"

// The check boxes of each table stand for its codes in kRegisterFunctionCodes and
// kCoilFunctionCodes order: 1214 to 1218 for the registers, 1221 to 1223 for the coils.

// What the operator typed and checked in the Configure Data Areas dialog. Start and size are
// the boxes read as unsigned 32-bit numbers, not yet known to fit a table.
struct DataAreaSettings {
    uint32_t registerStart;
    uint32_t registerSize;
    bool registerFunctions[kRegisterFunctionCount];
    uint32_t coilStart;
    uint32_t coilSize;
    bool coilFunctions[kCoilFunctionCount];
};

// The box the operator has to correct after a failed check.
enum class DataAreaField { None, RegisterStart, RegisterSize, CoilStart, CoilSize };

struct DataAreaCheck {
    DataAreaField failedField;   // None: every check passed
    char message[96];            // the operator's message when a check failed
};

// The four number boxes as the operator typed them.
struct DataAreaTexts {
    const char* registerStart;
    const char* registerSize;
    const char* coilStart;
    const char* coilSize;
};

// Reads the four boxes, in the order above, into the numbers of *settings. Empty text counts as
// 0; text that is not a whole number from 0 to 4,294,967,295 (letters, a sign, more than 32 bits)
// fails, naming the table and the field, so that no number is silently taken for another.
DataAreaCheck ReadDataAreaNumbers(const DataAreaTexts& texts, DataAreaSettings* settings);

// Runs the four checks in order (register size, register range, coil size, coil range) and
// reports the first that fails. Start plus size is added in 64 bits, so nothing wraps.
DataAreaCheck CheckDataAreaSettings(const DataAreaSettings& settings);

// The settings of the tables as they are now, for the dialog to show.
DataAreaSettings ReadDataAreaSettings();

// Applies settings that passed the checks as the served settings, in their order: register window,
// register functions, coil window, coil functions.
void ApplyDataAreaSettings(const DataAreaSettings& settings);
