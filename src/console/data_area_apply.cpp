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
        settings.registerFunctions[i] = IsFunctionEnabled(kRegisterFunctions[i]);
    }
    GetCoilWindow(&first, &last);
    settings.coilStart = first;
    settings.coilSize = static_cast<uint32_t>(last) - first + 1;
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        settings.coilFunctions[i] = IsFunctionEnabled(kCoilFunctions[i]);
    }
    return settings;
}

void ApplyDataAreaSettings(const DataAreaSettings& settings)
{
    SetRegisterWindow(static_cast<uint16_t>(settings.registerStart),
                      static_cast<uint16_t>(settings.registerStart + settings.registerSize - 1));
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        SetFunctionEnabled(kRegisterFunctions[i], settings.registerFunctions[i]);
    }
    SetCoilWindow(static_cast<uint16_t>(settings.coilStart),
                  static_cast<uint16_t>(settings.coilStart + settings.coilSize - 1));
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        SetFunctionEnabled(kCoilFunctions[i], settings.coilFunctions[i]);
    }
}
