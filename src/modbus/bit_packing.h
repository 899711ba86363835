#pragma once

#include <cstdint>

// Coils travel packed eight to a byte, least significant bit first, and are held one byte each
// (0 or 1) everywhere else.

// Packs `count` coil bytes (non-zero = ON) eight to a byte; the last byte's unused bits are 0.
void PackBits(const uint8_t* coils, uint8_t* packed, uint16_t count);

// Expands `count` packed bits into one 0/1 byte each.
void UnpackBits(const uint8_t* packed, uint8_t* coils, uint16_t count);
