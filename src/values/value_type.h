#pragma once

#include <cstdint>

// How a device lays a value over consecutive registers: its type, and the order of its bytes.
// The console's formats, the control interface's typed runs, the state file and the value
// generators all read and write registers through these, so a float32 CDAB means the same
// registers wherever it is written.

enum class ValueType : uint8_t {
    kUint16,
    kInt16,
    kUint32,
    kInt32,
    kFloat32,
    kUint64,
    kInt64,
    kFloat64,
    kAscii,   // two characters per register, the first in the high byte (ABCD)
};

// The byte order of a value over its registers, named by where the bytes of the big-endian value
// A B C D land: ABCD big-endian (the Modbus convention), CDAB the words swapped, BADC the bytes of
// each word swapped, DCBA both. For 64-bit values the words are reversed as a whole (CDAB of
// ABCDEFGH is GH EF CD AB); for 16-bit values and ASCII only the byte swap applies.
enum class ValueOrder : uint8_t { kAbcd, kCdab, kBadc, kDcba };

// The names as options and documents write them: "uint16" ... "ascii"; "ABCD" ... "DCBA".
const char* ValueTypeName(ValueType type);
const char* ValueOrderName(ValueOrder order);
// False for a name that is none of them (names are matched exactly, lower-case types and
// upper-case orders).
bool ParseValueType(const char* name, ValueType* type);
bool ParseValueOrder(const char* name, ValueOrder* order);

// The registers one value of the type spans: 1, 2 or 4; for ASCII, 1 (two characters).
int ValueRegisterCount(ValueType type);
bool IsIntegerType(ValueType type);
bool IsSignedType(ValueType type);
bool IsRealType(ValueType type);

// "uint16, int16, uint32, int32, float32, uint64, int64, float64, ascii" and
// "ABCD, CDAB, BADC, DCBA", for messages that say what is accepted.
const char* ValueTypeNamesText();
const char* ValueOrderNamesText();
