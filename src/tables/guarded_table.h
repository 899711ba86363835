#pragma once

#include <cstring>
#include <mutex>

#include "tables/address_window.h"

// The storage every data table shares: 65,536 cells and the table's AddressWindow, both guarded by
// the table's own lock. The lock is re-entrant so that an operation already holding it (code 23's
// read and write under one hold) may call another that takes it again. Each table file keeps one
// GuardedTable in static storage and names the operations Modbus requests and the console use.
template <typename Cell>
struct GuardedTable {
    std::recursive_mutex lock;
    Cell cells[kTableSize];
    AddressWindow window = {0, 0xFFFF};
};

// All cells 0, the window whole.
template <typename Cell>
void ResetTable(GuardedTable<Cell>& table)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    std::memset(table.cells, 0, sizeof table.cells);
    table.window = {0, 0xFFFF};
}

template <typename Cell>
void GetTableWindow(GuardedTable<Cell>& table, uint16_t* first, uint16_t* last)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    *first = table.window.first;
    *last = table.window.last;
}

template <typename Cell>
void SetTableWindow(GuardedTable<Cell>& table, uint16_t first, uint16_t last)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    table.window = {first, last};
}

// A Modbus client's read: the whole run inside the window, or nothing copied.
template <typename Cell>
bool ReadWindowed(GuardedTable<Cell>& table, uint32_t address, uint32_t count, Cell* dest)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    if (!RunInsideWindow(table.window, address, count)) {
        return false;
    }
    std::memcpy(dest, table.cells + address, count * sizeof(Cell));
    return true;
}

// A Modbus client's write: the whole run inside the window, or nothing written.
template <typename Cell>
bool WriteWindowed(GuardedTable<Cell>& table, uint32_t address, uint32_t count, const Cell* src)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    if (!RunInsideWindow(table.window, address, count)) {
        return false;
    }
    std::memcpy(table.cells + address, src, count * sizeof(Cell));
    return true;
}

// The operator's view and edits ignore the window; the caller keeps address + count in the table.
template <typename Cell>
void PeekTable(GuardedTable<Cell>& table, uint32_t address, uint32_t count, Cell* dest)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    std::memcpy(dest, table.cells + address, count * sizeof(Cell));
}

template <typename Cell>
void PokeTable(GuardedTable<Cell>& table, uint32_t address, uint32_t count, const Cell* src)
{
    std::lock_guard<std::recursive_mutex> hold(table.lock);
    std::memcpy(table.cells + address, src, count * sizeof(Cell));
}
