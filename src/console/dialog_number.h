#pragma once

#include <cstdint>

// Reads an operator's number the way dialog boxes read unsigned integers: blanks around decimal
// digits are allowed; empty text, any other character, a sign, or a number above 4,294,967,295
// all count as 0.
uint32_t ReadUnsignedNumber(const char* text);
