#include "tables/coil_table.h"

#include <cstring>
#include <mutex>

namespace {

// CoilLock guards CoilTable and CoilWindow. It is re-entrant so that an operation already holding
// it may call another that takes it again.
std::recursive_mutex CoilLock;
uint8_t CoilTable[kTableSize];
AddressWindow CoilWindow = {0, 0xFFFF};

}  // namespace

void InitCoilTable()
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    std::memset(CoilTable, 0, sizeof CoilTable);
    CoilWindow = {0, 0xFFFF};
}

// CoilLock lives in static storage for the whole process, so there is nothing to release.
void DestroyCoilTable() {}

void GetCoilWindow(uint16_t* first, uint16_t* last)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    *first = CoilWindow.first;
    *last = CoilWindow.last;
}

void SetCoilWindow(uint16_t first, uint16_t last)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    CoilWindow = {first, last};
}

bool ReadCoils(uint32_t address, uint32_t count, uint8_t* dest)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    if (!RunInsideWindow(CoilWindow, address, count)) {
        return false;
    }
    std::memcpy(dest, CoilTable + address, count);
    return true;
}

bool WriteCoils(uint32_t address, uint32_t count, const uint8_t* src)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    if (!RunInsideWindow(CoilWindow, address, count)) {
        return false;
    }
    std::memcpy(CoilTable + address, src, count);
    return true;
}

void PeekCoils(uint32_t address, uint32_t count, uint8_t* dest)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    std::memcpy(dest, CoilTable + address, count);
}

void PokeCoils(uint32_t address, uint32_t count, const uint8_t* src)
{
    std::lock_guard<std::recursive_mutex> hold(CoilLock);
    std::memcpy(CoilTable + address, src, count);
}
