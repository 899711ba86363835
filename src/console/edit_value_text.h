#pragma once

#include <cstdint>

// The Edit Values boxes are read into an 8-character buffer: only the first 7 characters count.
inline constexpr int kEditValueCharacters = 7;

// Reads one Edit Values box. Answers false when the box is empty (the cell is left alone);
// otherwise stores the leading decimal integer of the first 7 characters in *value: blanks
// skipped, an optional sign, then digits up to the first other character; no digits gives 0.
bool ParseEditValue(const char* text, int32_t* value);

// What a cell receives: a register the low 16 bits, a coil 1 for any non-zero value.
uint16_t RegisterValueFromEdit(int32_t value);
uint8_t CoilValueFromEdit(int32_t value);
