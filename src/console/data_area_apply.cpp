#include "console/data_area_settings.h"

#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "tables/register_table.h"

DataAreaSettings ReadDataAreaSettings()
{
    DataAreaSettings settings{};
    uint16_t first = 0;
    uint16_t last = 0;
    GetRegisterWindow(&first, &last);
    settings.registerStart = first;
    settings.registerSize = static_cast<uint32_t>(last) - first + 1;
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        settings.registerFunctions[i] = IsFunctionEnabled(kRegisterFunctionCodes[i]);
    }
    GetCoilWindow(&first, &last);
    settings.coilStart = first;
    settings.coilSize = static_cast<uint32_t>(last) - first + 1;
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        settings.coilFunctions[i] = IsFunctionEnabled(kCoilFunctionCodes[i]);
    }
    return settings;
}

void ApplyDataAreaSettings(const DataAreaSettings& settings)
{
    const AddressWindow registers = WindowOfRange(settings.registerStart, settings.registerSize);
    SetRegisterWindow(registers.first, registers.last);
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        SetFunctionEnabled(kRegisterFunctionCodes[i], settings.registerFunctions[i]);
    }
    const AddressWindow coils = WindowOfRange(settings.coilStart, settings.coilSize);
    SetCoilWindow(coils.first, coils.last);
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        SetFunctionEnabled(kCoilFunctionCodes[i], settings.coilFunctions[i]);
    }
}
