#include "console/data_area_settings.h"

#include "server/served_settings.h"

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
            area.functions[i] = !served.disabled[codes[i]];
        }
    }
    return settings;
}

void ApplyDataAreaSettings(const DataAreaSettings& settings)
{
    // The settings the dialog does not show (the device codes, the limits, the served units) stay as
    // they are.
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
}
