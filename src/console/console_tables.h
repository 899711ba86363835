#pragma once

#include <cstdint>
#include <span>

#include "modbus/function_codes.h"

// The four data tables as the console shows them, in the order the operator meets them: the
// grid's table buttons from left to right and the columns of the Configure Data Areas dialog.
enum class DataTable { Coils, DiscreteInputs, InputRegisters, HoldingRegisters };
inline constexpr int kDataTableCount = 4;
inline constexpr DataTable kDataTables[kDataTableCount] = {DataTable::Coils, DataTable::DiscreteInputs,
                                                           DataTable::InputRegisters, DataTable::HoldingRegisters};

// The most function codes one table has: the holding registers' five.
inline constexpr int kMostTableFunctions = kRegisterFunctionCount;

// What the operator reads about a table: its title ("Holding Registers", the dialog's column and
// its messages), the name of one cell ("holding register", Edit Values' messages) and the Edit
// Values caption.
struct DataTableNames {
    const char* title;
    const char* cell;
    const char* editCaption;
};
const DataTableNames& NamesOf(DataTable table);

// Coils and discrete inputs hold bits (0 or 1), the register tables 16-bit values.
bool HoldsBits(DataTable table);

// The table's function codes, in the order of its check boxes.
std::span<const uint8_t> FunctionCodesOf(DataTable table);

// The table's address window, under the table's lock.
void GetTableWindow(DataTable table, uint16_t* first, uint16_t* last);

// Copies `count` cells from `address` on, bits as 0 or 1, ignoring the window. The caller keeps
// the run within the table.
void PeekTable(DataTable table, uint32_t address, uint32_t count, uint16_t* values);

// Writes one cell, ignoring the window; a bit table takes the value's lowest bit, so the caller
// passes 0 or 1.
void PokeTableCell(DataTable table, uint32_t address, uint16_t value);

// Writes `count` registers of a register table in one hold of its lock, ignoring the window, so
// that no client reads half of a 32- or 64-bit value. The caller keeps the run within the table.
void PokeTableRegisters(DataTable table, uint32_t address, uint32_t count, const uint16_t* values);
