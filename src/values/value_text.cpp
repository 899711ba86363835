#include "values/value_text.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "values/value_bits.h"

namespace {

struct KindRow {
    ValueTextKind kind;
    const char* name;
    ValueType type;   // the registers' codec
    const char* accepts;
};

constexpr KindRow kKinds[kValueTextKindCount] = {
    {ValueTextKind::kUnsigned, "unsigned", ValueType::kUint16, "a whole number from 0 to 65535"},
    {ValueTextKind::kSigned, "signed", ValueType::kInt16, "a whole number from -32768 to 32767"},
    {ValueTextKind::kHex, "hex", ValueType::kUint16, "a hexadecimal number from 0x0000 to 0xFFFF"},
    {ValueTextKind::kBinary, "binary", ValueType::kUint16, "a binary number from 0 to 1111111111111111"},
    {ValueTextKind::kAscii, "ascii", ValueType::kAscii, "one or two printable ASCII characters"},
    {ValueTextKind::kInt32, "int32", ValueType::kInt32, "a whole number from -2147483648 to 2147483647"},
    {ValueTextKind::kUint32, "uint32", ValueType::kUint32, "a whole number from 0 to 4294967295"},
    {ValueTextKind::kFloat32, "float32", ValueType::kFloat32, "a number from -3.4028235e+38 to 3.4028235e+38"},
    {ValueTextKind::kInt64, "int64", ValueType::kInt64,
     "a whole number from -9223372036854775808 to 9223372036854775807"},
    {ValueTextKind::kUint64, "uint64", ValueType::kUint64, "a whole number from 0 to 18446744073709551615"},
    {ValueTextKind::kFloat64, "float64", ValueType::kFloat64,
     "a number from -1.7976931348623157e+308 to 1.7976931348623157e+308"},
};

constexpr int kBinaryDigits = 16;
constexpr int kLongestRealPrecision = 17;   // enough for any float64 to read back the same

const KindRow& RowOf(ValueTextKind kind)
{
    return kKinds[static_cast<int>(kind)];
}

// The codec's order: 16-bit kinds are read as they stand.
ValueOrder OrderOf(ValueFormat format)
{
    return ValueTextUsesOrder(format.kind) ? format.order : ValueOrder::kAbcd;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The text without the blanks around it, as [*first, *end).
void TrimBlanks(const char* text, const char** first, const char** end)
{
    const char* begin = text;
    while (IsBlank(*begin)) {
        ++begin;
    }
    const char* stop = begin + std::strlen(begin);
    while (stop > begin && IsBlank(stop[-1])) {
        --stop;
    }
    *first = begin;
    *end = stop;
}

void FormatBinary(uint16_t value, char* text)
{
    for (int bit = 0; bit < kBinaryDigits; ++bit) {
        text[bit] = (value >> (kBinaryDigits - 1 - bit)) & 1u ? '1' : '0';
    }
    text[kBinaryDigits] = '\0';
}

void FormatAscii(const uint16_t* registers, char* text)
{
    TakeAscii(registers, 2, ValueOrder::kAbcd, text);
    for (int index = 0; index < 2; ++index) {
        const unsigned char c = static_cast<unsigned char>(text[index]);
        if (c < 0x20 || c > 0x7E) {
            text[index] = '.';
        }
    }
    text[2] = '\0';
}

// The shortest text that reads back as the same number; past maxCharacters, fewer digits.
template <class Real>
void FormatReal(Real number, int maxCharacters, char* text)
{
    char* const last = text + kValueTextSize - 1;
    std::to_chars_result written = std::to_chars(text, last, number);
    for (int precision = kLongestRealPrecision; written.ptr - text > maxCharacters && precision >= 1; --precision) {
        written = std::to_chars(text, last, number, std::chars_format::general, precision);
    }
    *written.ptr = '\0';
}

void FormatNumber(ValueType type, uint64_t bits, int maxCharacters, char* text)
{
    if (type == ValueType::kFloat32) {
        FormatReal(static_cast<float>(RealFromBits(type, bits)), maxCharacters, text);
    } else if (type == ValueType::kFloat64) {
        FormatReal(RealFromBits(type, bits), maxCharacters, text);
    } else if (IsSignedType(type)) {
        std::snprintf(text, kValueTextSize, "%lld", static_cast<long long>(SignedFromBits(type, bits)));
    } else {
        std::snprintf(text, kValueTextSize, "%llu", static_cast<unsigned long long>(UnsignedFromBits(type, bits)));
    }
}

// A decimal number, all of [first, end), as the type's bits.
bool ParseNumber(ValueType type, const char* first, const char* end, uint64_t* bits)
{
    const bool takesSign = IsSignedType(type) || IsRealType(type);
    if (takesSign && first < end && *first == '+' && end - first > 1 && first[1] != '-') {
        ++first;
    }
    if (IsRealType(type)) {
        double number = 0;
        const std::from_chars_result read = std::from_chars(first, end, number);
        return read.ec == std::errc() && read.ptr == end && BitsFromReal(type, number, bits);
    }
    if (first < end && *first == '-') {
        int64_t number = 0;
        const std::from_chars_result read = std::from_chars(first, end, number);
        return read.ec == std::errc() && read.ptr == end && BitsFromSigned(type, number, bits);
    }
    uint64_t number = 0;
    const std::from_chars_result read = std::from_chars(first, end, number);
    return read.ec == std::errc() && read.ptr == end && BitsFromUnsigned(type, number, bits);
}

// Skips "0x" or "0b" (either case) when the digits go on after it.
const char* SkipPrefix(const char* first, const char* end, char letter)
{
    if (end - first > 2 && first[0] == '0' && (first[1] == letter || first[1] == letter - 'a' + 'A')) {
        return first + 2;
    }
    return first;
}

// Digits of the base, all of [first, end), as a 16-bit value.
bool ParseDigits(const char* first, const char* end, int base, uint64_t* value)
{
    if (first == end || *first == '+' || *first == '-') {
        return false;
    }
    const std::from_chars_result read = std::from_chars(first, end, *value, base);
    return read.ec == std::errc() && read.ptr == end && *value <= 0xFFFF;
}

bool ParseAscii(const char* text, uint16_t* registers)
{
    const size_t length = std::strlen(text);
    if (length < 1 || length > 2) {
        return false;
    }
    for (size_t index = 0; index < length; ++index) {
        const unsigned char c = static_cast<unsigned char>(text[index]);
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    PlaceAscii(text, length, ValueOrder::kAbcd, registers);
    return true;
}

}  // namespace

const char* ValueTextKindName(ValueTextKind kind)
{
    return RowOf(kind).name;
}

int ValueTextRegisterCount(ValueTextKind kind)
{
    return ValueRegisterCount(RowOf(kind).type);
}

bool ValueTextUsesOrder(ValueTextKind kind)
{
    return ValueTextRegisterCount(kind) > 1;
}

void FormatValueText(ValueFormat format, const uint16_t* registers, int maxCharacters, char* text)
{
    switch (format.kind) {
    case ValueTextKind::kHex:
        std::snprintf(text, kValueTextSize, "0x%04X", static_cast<unsigned>(registers[0]));
        return;
    case ValueTextKind::kBinary:
        FormatBinary(registers[0], text);
        return;
    case ValueTextKind::kAscii:
        FormatAscii(registers, text);
        return;
    default:
        break;
    }
    const ValueType type = RowOf(format.kind).type;
    FormatNumber(type, TakeValueBits(type, OrderOf(format), registers), maxCharacters, text);
}

bool ParseValueText(ValueFormat format, const char* text, uint16_t* registers)
{
    if (format.kind == ValueTextKind::kAscii) {
        return ParseAscii(text, registers);
    }
    const char* first = nullptr;
    const char* end = nullptr;
    TrimBlanks(text, &first, &end);
    uint64_t bits = 0;
    const ValueType type = RowOf(format.kind).type;
    bool read = false;
    if (format.kind == ValueTextKind::kHex) {
        read = ParseDigits(SkipPrefix(first, end, 'x'), end, 16, &bits);
    } else if (format.kind == ValueTextKind::kBinary) {
        read = ParseDigits(SkipPrefix(first, end, 'b'), end, 2, &bits);
    } else {
        read = ParseNumber(type, first, end, &bits);
    }
    if (read) {
        PlaceValueBits(type, OrderOf(format), bits, registers);
    }
    return read;
}

const char* ValueTextAccepts(ValueTextKind kind)
{
    return RowOf(kind).accepts;
}
