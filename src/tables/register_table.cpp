#include "tables/register_table.h"

#include <cstring>
#include <mutex>

namespace {

// RegisterLock guards RegisterTable and RegisterWindow. It is re-entrant because
// ReadWriteRegisters holds it across the ReadRegisters and WriteRegisters it calls.
std::recursive_mutex RegisterLock;
uint16_t RegisterTable[kTableSize];
AddressWindow RegisterWindow = {0, 0xFFFF};

}  // namespace

void InitRegisterTable()
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    std::memset(RegisterTable, 0, sizeof RegisterTable);
    RegisterWindow = {0, 0xFFFF};
}

// RegisterLock lives in static storage for the whole process, so there is nothing to release.
void DestroyRegisterTable() {}

void GetRegisterWindow(uint16_t* first, uint16_t* last)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    *first = RegisterWindow.first;
    *last = RegisterWindow.last;
}

void SetRegisterWindow(uint16_t first, uint16_t last)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    RegisterWindow = {first, last};
}

bool ReadRegisters(uint32_t address, uint32_t count, uint16_t* dest)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    if (!RunInsideWindow(RegisterWindow, address, count)) {
        return false;
    }
    std::memcpy(dest, RegisterTable + address, count * sizeof(uint16_t));
    return true;
}

bool WriteRegisters(uint32_t address, uint32_t count, const uint16_t* src)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    if (!RunInsideWindow(RegisterWindow, address, count)) {
        return false;
    }
    std::memcpy(RegisterTable + address, src, count * sizeof(uint16_t));
    return true;
}

bool MaskWriteRegister(uint16_t address, uint16_t andMask, uint16_t orMask)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    if (!RunInsideWindow(RegisterWindow, address, 1)) {
        return false;
    }
    const uint16_t cell = RegisterTable[address];
    RegisterTable[address] = static_cast<uint16_t>((cell & andMask) | (orMask & ~andMask));
    return true;
}

bool ReadWriteRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc)
{
    // One hold across both steps: nobody can write between this read and this write, and the
    // values read are those from before the write wherever the two runs overlap.
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    if (!ReadRegisters(readAddress, readCount, readDest)) {
        return false;
    }
    return WriteRegisters(writeAddress, writeCount, writeSrc);
}

bool WriteReadRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc)
{
    // The read answers the values just written wherever the two runs overlap.
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    if (!RunInsideWindow(RegisterWindow, readAddress, readCount) ||
        !WriteRegisters(writeAddress, writeCount, writeSrc)) {
        return false;
    }
    return ReadRegisters(readAddress, readCount, readDest);
}

void PeekRegisters(uint32_t address, uint32_t count, uint16_t* dest)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    std::memcpy(dest, RegisterTable + address, count * sizeof(uint16_t));
}

void PokeRegisters(uint32_t address, uint32_t count, const uint16_t* src)
{
    std::lock_guard<std::recursive_mutex> hold(RegisterLock);
    std::memcpy(RegisterTable + address, src, count * sizeof(uint16_t));
}
