#include "console/data_area_settings.h"

#include "server/served_settings.h"
#include "tables/function_enable_table.h"

// The dialog's boxes stand for the served settings: a window as its start and size, a check box as
// a code that is not disabled.

namespace {

AddressWindow& WindowOf(ServedSettings& served, DataTable table)
{
    switch (table) {
    case DataTable::Coils:
        return served.coilWindow;
    case DataTable::DiscreteInputs:
        return served.discreteInputWindow;
    case DataTable::InputRegisters:
        return served.inputRegisterWindow;
    case DataTable::HoldingRegisters:
        break;
    }
    return served.registerWindow;
}

// A code the served settings do not carry is read and set as its flag alone, so that every box
// of the dialog stands for its code's enable whichever codes the record carries.
bool CodeEnabled(const ServedSettings& served, uint8_t code)
{
    return IsServedFunctionCode(code) ? !served.disabled[code] : IsFunctionEnabled(code);
}

}  // namespace

DataAreaSettings ReadDataAreaSettings()
{
    ServedSettings served = ReadServedSettings();
    DataAreaSettings settings{};
    for (DataTable table : kDataTables) {
        TableAreaSettings& area = settings.tables[static_cast<int>(table)];
        const AddressWindow window = WindowOf(served, table);
        area.start = window.first;
        area.size = static_cast<uint32_t>(window.last) - window.first + 1;
        const std::span<const uint8_t> codes = FunctionCodesOf(table);
        for (size_t i = 0; i < codes.size(); ++i) {
            area.functions[i] = CodeEnabled(served, codes[i]);
        }
    }
    return settings;
}

void ApplyDataAreaSettings(const DataAreaSettings& settings)
{
    // Whatever else the record holds stays as it is.
    ServedSettings served = ReadServedSettings();
    for (DataTable table : kDataTables) {
        const TableAreaSettings& area = settings.tables[static_cast<int>(table)];
        WindowOf(served, table) = WindowOfRange(area.start, area.size);
        const std::span<const uint8_t> codes = FunctionCodesOf(table);
        for (size_t i = 0; i < codes.size(); ++i) {
            served.disabled[codes[i]] = !area.functions[i];
        }
    }
    ApplyServedSettings(served);
    for (DataTable table : kDataTables) {
        const std::span<const uint8_t> codes = FunctionCodesOf(table);
        for (size_t i = 0; i < codes.size(); ++i) {
            if (!IsServedFunctionCode(codes[i])) {
                SetFunctionEnabled(codes[i], settings.tables[static_cast<int>(table)].functions[i]);
            }
        }
    }
}
