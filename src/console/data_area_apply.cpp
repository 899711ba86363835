#include "console/data_area_settings.h"

#include "server/served_settings.h"

// The dialog's boxes stand for the served settings: a window as its start and size, a check box as
// a code that is not disabled.

DataAreaSettings ReadDataAreaSettings()
{
    const ServedSettings served = ReadServedSettings();
    DataAreaSettings settings{};
    settings.registerStart = served.registerWindow.first;
    settings.registerSize = static_cast<uint32_t>(served.registerWindow.last) - served.registerWindow.first + 1;
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        settings.registerFunctions[i] = !served.disabled[kRegisterFunctionCodes[i]];
    }
    settings.coilStart = served.coilWindow.first;
    settings.coilSize = static_cast<uint32_t>(served.coilWindow.last) - served.coilWindow.first + 1;
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        settings.coilFunctions[i] = !served.disabled[kCoilFunctionCodes[i]];
    }
    return settings;
}

void ApplyDataAreaSettings(const DataAreaSettings& settings)
{
    // The settings the dialog does not show (the device codes, the limits, the served units) stay as
    // they are.
    ServedSettings served = ReadServedSettings();
    served.registerWindow = WindowOfRange(settings.registerStart, settings.registerSize);
    for (int i = 0; i < kRegisterFunctionCount; ++i) {
        served.disabled[kRegisterFunctionCodes[i]] = !settings.registerFunctions[i];
    }
    served.coilWindow = WindowOfRange(settings.coilStart, settings.coilSize);
    for (int i = 0; i < kCoilFunctionCount; ++i) {
        served.disabled[kCoilFunctionCodes[i]] = !settings.coilFunctions[i];
    }
    ApplyServedSettings(served);
}
