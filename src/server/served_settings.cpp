#include "server/served_settings.h"

#include <span>

#include "modbus/function_codes.h"
#include "modbus/standard_limits.h"
#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/function_enable_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

ServedSettings DefaultServedSettings()
{
    ServedSettings settings{};
    settings.registerWindow = AddressWindow{0, static_cast<uint16_t>(kTableSize - 1)};
    settings.coilWindow = AddressWindow{0, static_cast<uint16_t>(kTableSize - 1)};
    settings.inputRegisterWindow = AddressWindow{0, static_cast<uint16_t>(kTableSize - 1)};
    settings.discreteInputWindow = AddressWindow{0, static_cast<uint16_t>(kTableSize - 1)};
    return settings;
}

ServedSettings ReadServedSettings()
{
    ServedSettings settings{};
    GetRegisterWindow(&settings.registerWindow.first, &settings.registerWindow.last);
    GetCoilWindow(&settings.coilWindow.first, &settings.coilWindow.last);
    GetInputRegisterWindow(&settings.inputRegisterWindow.first, &settings.inputRegisterWindow.last);
    GetDiscreteInputWindow(&settings.discreteInputWindow.first, &settings.discreteInputWindow.last);
    for (uint8_t code : kServedFunctionCodes) {
        settings.disabled[code] = !IsFunctionEnabled(code);
    }
    settings.standardLimits = StandardLimitsInForce();
    for (int unit = 0; unit < kUnitIdCount; ++unit) {
        settings.unitUnserved[unit] = !IsUnitServed(static_cast<uint8_t>(unit));
    }
    settings.unknownUnit = ReadUnknownUnitAnswer();
    return settings;
}

namespace {

void ApplyFunctionEnables(const ServedSettings& settings, std::span<const uint8_t> codes)
{
    for (uint8_t code : codes) {
        SetFunctionEnabled(code, !settings.disabled[code]);
    }
}

}  // namespace

void ApplyServedSettings(const ServedSettings& settings)
{
    SetRegisterWindow(settings.registerWindow.first, settings.registerWindow.last);
    ApplyFunctionEnables(settings, kRegisterFunctionCodes);
    SetCoilWindow(settings.coilWindow.first, settings.coilWindow.last);
    ApplyFunctionEnables(settings, kCoilFunctionCodes);
    SetInputRegisterWindow(settings.inputRegisterWindow.first, settings.inputRegisterWindow.last);
    ApplyFunctionEnables(settings, kInputRegisterFunctionCodes);
    SetDiscreteInputWindow(settings.discreteInputWindow.first, settings.discreteInputWindow.last);
    ApplyFunctionEnables(settings, kDiscreteInputFunctionCodes);
    ApplyFunctionEnables(settings, kDeviceFunctionCodes);
    SetStandardLimits(settings.standardLimits);
    for (int unit = 0; unit < kUnitIdCount; ++unit) {
        SetUnitServed(static_cast<uint8_t>(unit), !settings.unitUnserved[unit]);
    }
    SetUnknownUnitAnswer(settings.unknownUnit);
}
