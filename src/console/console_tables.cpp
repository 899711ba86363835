#include "console/console_tables.h"

#include "tables/coil_table.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

constexpr DataTableNames kNames[kDataTableCount] = {
    {"Coils", "coil", "Edit Coil Values"},
    {"Discrete Inputs", "discrete input", "Edit Discrete Input Values"},
    {"Input Registers", "input register", "Edit Input Register Values"},
    {"Holding Registers", "holding register", "Edit Holding Register Values"},
};

int IndexOf(DataTable table)
{
    return static_cast<int>(table);
}

// A bit table's cells are bytes: read in runs through a byte buffer and widened. The grid asks
// for thirty, one run.
constexpr uint32_t kBitRun = 64;

void PeekBits(void (*peek)(uint32_t, uint32_t, uint8_t*), uint32_t address, uint32_t count, uint16_t* values)
{
    uint8_t bits[kBitRun];
    while (count > 0) {
        const uint32_t run = count < kBitRun ? count : kBitRun;
        peek(address, run, bits);
        for (uint32_t i = 0; i < run; ++i) {
            values[i] = bits[i];
        }
        address += run;
        count -= run;
        values += run;
    }
}

}  // namespace

const DataTableNames& NamesOf(DataTable table)
{
    return kNames[IndexOf(table)];
}

bool HoldsBits(DataTable table)
{
    return table == DataTable::Coils || table == DataTable::DiscreteInputs;
}

std::span<const uint8_t> FunctionCodesOf(DataTable table)
{
    switch (table) {
    case DataTable::Coils:
        return kCoilFunctionCodes;
    case DataTable::DiscreteInputs:
        return kDiscreteInputFunctionCodes;
    case DataTable::InputRegisters:
        return kInputRegisterFunctionCodes;
    case DataTable::HoldingRegisters:
        break;
    }
    return kRegisterFunctionCodes;
}

void GetTableWindow(DataTable table, uint16_t* first, uint16_t* last)
{
    switch (table) {
    case DataTable::Coils:
        GetCoilWindow(first, last);
        return;
    case DataTable::DiscreteInputs:
        GetDiscreteInputWindow(first, last);
        return;
    case DataTable::InputRegisters:
        GetInputRegisterWindow(first, last);
        return;
    case DataTable::HoldingRegisters:
        GetRegisterWindow(first, last);
        return;
    }
}

void PeekTable(DataTable table, uint32_t address, uint32_t count, uint16_t* values)
{
    switch (table) {
    case DataTable::Coils:
        PeekBits(PeekCoils, address, count, values);
        return;
    case DataTable::DiscreteInputs:
        PeekBits(PeekDiscreteInputs, address, count, values);
        return;
    case DataTable::InputRegisters:
        PeekInputRegisters(address, count, values);
        return;
    case DataTable::HoldingRegisters:
        PeekRegisters(address, count, values);
        return;
    }
}

void PokeTableCell(DataTable table, uint32_t address, uint16_t value)
{
    const uint8_t bit = static_cast<uint8_t>(value & 1u);
    switch (table) {
    case DataTable::Coils:
        PokeCoils(address, 1, &bit);
        return;
    case DataTable::DiscreteInputs:
        PokeDiscreteInputs(address, 1, &bit);
        return;
    case DataTable::InputRegisters:
        PokeInputRegisters(address, 1, &value);
        return;
    case DataTable::HoldingRegisters:
        PokeRegisters(address, 1, &value);
        return;
    }
}

void PokeTableRegisters(DataTable table, uint32_t address, uint32_t count, const uint16_t* values)
{
    if (table == DataTable::InputRegisters) {
        PokeInputRegisters(address, count, values);
    } else if (table == DataTable::HoldingRegisters) {
        PokeRegisters(address, count, values);
    }
}
