#pragma once

#include <cstddef>
#include <cstdint>

#include "values/value_type.h"

// A value's bits are its big-endian image in the low 16, 32 or 64 bits of a uint64_t: an integer's
// two's complement, a float's IEEE 754 pattern. Placing them in registers applies the order; taking
// them back undoes it, so Take(Place(bits)) == bits for every type and order.

// Writes ValueRegisterCount(type) registers (not for kAscii).
void PlaceValueBits(ValueType type, ValueOrder order, uint64_t bits, uint16_t* registers);
uint64_t TakeValueBits(ValueType type, ValueOrder order, const uint16_t* registers);

// Numbers to bits. False when the type cannot hold the number: outside an integer type's range, a
// fraction for an integer type, a finite number that float32 would round to infinity. NaN and the infinities are
// float values and pass for the float types only.
bool BitsFromSigned(ValueType type, int64_t number, uint64_t* bits);
bool BitsFromUnsigned(ValueType type, uint64_t number, uint64_t* bits);
bool BitsFromReal(ValueType type, double number, uint64_t* bits);

// Bits to numbers of the type's own kind: signed types sign-extend, float types widen to double.
int64_t SignedFromBits(ValueType type, uint64_t bits);
uint64_t UnsignedFromBits(ValueType type, uint64_t bits);
double RealFromBits(ValueType type, uint64_t bits);   // any type, as a double

// Text as registers, two characters to a register, the last padded with NUL; the order's byte swap
// (BADC, DCBA) puts the first character of each pair in the low byte.
size_t AsciiRegisterCount(size_t characters);
void PlaceAscii(const char* text, size_t characters, ValueOrder order, uint16_t* registers);
// Writes `characters` bytes to *text (no terminator), NULs included as they stand.
void TakeAscii(const uint16_t* registers, size_t characters, ValueOrder order, char* text);
