#pragma once

#include <cstdint>

// Room for the dump of the largest ADU: three characters per byte and a terminator (781), rounded
// up to a multiple of 16.
inline constexpr int kHexDumpBufferSize = 784;

// Writes each byte as two upper-case hexadecimal digits and a blank ("%02X "), the last byte
// included; a length of 0 gives the empty text. The buffer holds at least 3 * length + 1 bytes.
void FormatHexDump(const uint8_t* bytes, uint16_t length, char* text);
