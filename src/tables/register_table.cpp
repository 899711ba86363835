#include "tables/register_table.h"

#include "tables/guarded_table.h"

namespace {

// Its lock is RegisterLock, held by ReadWriteRegisters across the ReadRegisters and
// WriteRegisters it calls.
GuardedTable<uint16_t> Registers;

}  // namespace

void InitRegisterTable() { ResetTable(Registers); }

// RegisterLock lives in static storage for the whole process, so there is nothing to release.
void DestroyRegisterTable() {}

void GetRegisterWindow(uint16_t* first, uint16_t* last) { GetTableWindow(Registers, first, last); }

void SetRegisterWindow(uint16_t first, uint16_t last) { SetTableWindow(Registers, first, last); }

bool ReadRegisters(uint32_t address, uint32_t count, uint16_t* dest)
{
    return ReadWindowed(Registers, address, count, dest);
}

bool WriteRegisters(uint32_t address, uint32_t count, const uint16_t* src)
{
    return WriteWindowed(Registers, address, count, src);
}

bool MaskWriteRegister(uint16_t address, uint16_t andMask, uint16_t orMask)
{
    std::lock_guard<std::recursive_mutex> hold(Registers.lock);
    if (!RunInsideWindow(Registers.window, address, 1)) {
        return false;
    }
    const uint16_t cell = Registers.cells[address];
    Registers.cells[address] = static_cast<uint16_t>((cell & andMask) | (orMask & ~andMask));
    return true;
}

bool ReadWriteRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc)
{
    // One hold across both steps: nobody can write between this read and this write, and the
    // values read are those from before the write wherever the two runs overlap.
    std::lock_guard<std::recursive_mutex> hold(Registers.lock);
    if (!ReadRegisters(readAddress, readCount, readDest)) {
        return false;
    }
    return WriteRegisters(writeAddress, writeCount, writeSrc);
}

bool WriteReadRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc)
{
    // The read answers the values just written wherever the two runs overlap.
    std::lock_guard<std::recursive_mutex> hold(Registers.lock);
    if (!RunInsideWindow(Registers.window, readAddress, readCount) ||
        !WriteRegisters(writeAddress, writeCount, writeSrc)) {
        return false;
    }
    return ReadRegisters(readAddress, readCount, readDest);
}

void PeekRegisters(uint32_t address, uint32_t count, uint16_t* dest) { PeekTable(Registers, address, count, dest); }

void PokeRegisters(uint32_t address, uint32_t count, const uint16_t* src)
{
    PokeTable(Registers, address, count, src);
}
