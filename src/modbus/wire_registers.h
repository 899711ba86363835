#pragma once

#include <cstdint>

// Modbus puts 16-bit values on the wire high byte first; tables and records hold native values.

inline uint16_t ReadWireWord(const uint8_t* wire)
{
    return static_cast<uint16_t>((wire[0] << 8) | wire[1]);
}

inline void WriteWireWord(uint8_t* wire, uint16_t value)
{
    wire[0] = static_cast<uint8_t>(value >> 8);
    wire[1] = static_cast<uint8_t>(value);
}

// `count` big-endian values from `wire` (2 × count bytes) into native `values`.
void DecodeWireRegisters(const uint8_t* wire, uint16_t* values, uint16_t count);
// `count` native values into 2 × count big-endian bytes at `wire`.
void EncodeWireRegisters(const uint16_t* values, uint8_t* wire, uint16_t count);
