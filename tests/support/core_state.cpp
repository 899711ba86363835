#include "support/core_state.h"

#include "modbus/function_codes.h"
#include "tables/coil_table.h"
#include "tables/function_enable_table.h"
#include "server/unit_filter.h"
#include "tables/register_table.h"

void ResetServedData()
{
    InitRegisterTable();
    InitCoilTable();
    for (uint8_t code : kServedFunctionCodes) {
        SetFunctionEnabled(code, true);
    }
    for (int unit = 0; unit < kUnitIdCount; ++unit) {
        SetUnitServed(static_cast<uint8_t>(unit), true);
    }
    SetUnknownUnitAnswer(UnknownUnitAnswer::kNone);
}
