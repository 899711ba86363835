#pragma once

#include <cstdint>

#include "values/value_type.h"

// The texts an operator reads and types for register values: one 16-bit register as unsigned,
// signed, hex, binary or two ASCII characters, or a 32- or 64-bit number over consecutive
// registers in one of the four byte orders. Pure functions, so the console's grid, its Edit
// Values dialog and their tests share one reading of every format.

enum class ValueTextKind : uint8_t {
    kUnsigned,   // 0 ... 65535, the grid's look before any format was chosen
    kSigned,     // -32768 ... 32767
    kHex,        // 0x0000 ... 0xFFFF
    kBinary,     // sixteen digits, the highest bit first
    kAscii,      // two characters, the first in the high byte
    kInt32,
    kUint32,
    kFloat32,
    kInt64,
    kUint64,
    kFloat64,
};
inline constexpr int kValueTextKindCount = 11;

struct ValueFormat {
    ValueTextKind kind;
    ValueOrder order;   // applies to the 32- and 64-bit kinds only; the others read ABCD
};

// "unsigned", "signed", "hex", "binary", "ascii", then the type names ("int32" ... "float64").
const char* ValueTextKindName(ValueTextKind kind);
// The registers one value spans: 1, 2 or 4.
int ValueTextRegisterCount(ValueTextKind kind);
bool ValueTextUsesOrder(ValueTextKind kind);

// Room for the longest text of any format, its terminator included (a float64 written out in
// full, a binary register, an int64's twenty characters).
inline constexpr int kValueTextSize = 32;

// The value that starts at registers[0] (ValueTextRegisterCount of them) as text. Reals take the
// shortest text that reads back as the same number; when that is longer than `maxCharacters`,
// fewer significant digits, down to one. The other kinds are exact and ignore the limit. ASCII
// shows a byte that is not a printable character as '.'.
void FormatValueText(ValueFormat format, const uint16_t* registers, int maxCharacters, char* text);

// Reads an operator's text in the format into ValueTextRegisterCount registers. Blanks (spaces,
// tabs) around a number are allowed, and a '+' before a signed or real one; hex takes an optional "0x", binary an
// optional "0b". ASCII takes one or two printable characters as they
// stand, blanks included; one character leaves the low byte NUL. False, with nothing written,
// for text that is not a value of the format or lies outside its range.
bool ParseValueText(ValueFormat format, const char* text, uint16_t* registers);

// What the format accepts, for the operator's message: "a whole number from -32768 to 32767".
const char* ValueTextAccepts(ValueTextKind kind);
