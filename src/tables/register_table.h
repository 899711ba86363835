#pragma once

#include <cstdint>

#include "tables/address_window.h"

// The 65,536 holding registers in native byte order and the register AddressWindow, both guarded
// by RegisterLock, a re-entrant lock. Guarded operations serve Modbus requests and refuse, as a
// whole, any run outside the window; Peek/Poke serve the console and ignore the window.

void InitRegisterTable();     // all registers 0, window 0..65,535
void DestroyRegisterTable();

void GetRegisterWindow(uint16_t* first, uint16_t* last);
void SetRegisterWindow(uint16_t first, uint16_t last);

bool ReadRegisters(uint32_t address, uint32_t count, uint16_t* dest);
bool WriteRegisters(uint32_t address, uint32_t count, const uint16_t* src);
// cell = (cell AND andMask) OR (orMask AND NOT andMask)
bool MaskWriteRegister(uint16_t address, uint16_t andMask, uint16_t orMask);
// Reads, then writes, under one hold of RegisterLock; a refused read skips the write.
bool ReadWriteRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc);
// Code 23 in the Modbus application protocol's order: writes, then reads, under one hold of
// RegisterLock; both runs are tested before the write, so a refused read writes nothing.
bool WriteReadRegisters(uint32_t readAddress, uint32_t readCount, uint16_t* readDest,
                        uint32_t writeAddress, uint32_t writeCount, const uint16_t* writeSrc);

// The caller keeps address + count within the table.
void PeekRegisters(uint32_t address, uint32_t count, uint16_t* dest);
void PokeRegisters(uint32_t address, uint32_t count, const uint16_t* src);
