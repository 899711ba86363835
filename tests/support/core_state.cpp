#include "support/core_state.h"

#include "generators/generators.h"
#include "modbus/device_identification.h"
#include "modbus/function_codes.h"
#include "modbus/standard_limits.h"
#include "tables/data_tables.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "server/unit_filter.h"
#include "tables/register_table.h"

void ResetServedData()
{
    InitDataTables();
    for (uint8_t code : kServedFunctionCodes) {
        SetFunctionEnabled(code, true);
    }
    SetStandardLimits(false);
    ApplyDeviceIdentification(DefaultDeviceIdentification());
    for (int unit = 0; unit < kUnitIdCount; ++unit) {
        SetUnitServed(static_cast<uint8_t>(unit), true);
    }
    SetUnknownUnitAnswer(UnknownUnitAnswer::kNone);
    ClearGenerators();
}
