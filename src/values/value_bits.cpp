#include "values/value_bits.h"

#include <cmath>
#include <cstring>

namespace {

bool ReversesWords(ValueOrder order)
{
    return order == ValueOrder::kCdab || order == ValueOrder::kDcba;
}

bool SwapsBytes(ValueOrder order)
{
    return order == ValueOrder::kBadc || order == ValueOrder::kDcba;
}

uint16_t SwapBytes(uint16_t word)
{
    return static_cast<uint16_t>((word << 8) | (word >> 8));
}

int BitWidth(ValueType type)
{
    return 16 * ValueRegisterCount(type);
}

uint64_t WidthMask(ValueType type)
{
    const int width = BitWidth(type);
    return width == 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}

// The type's range as integers: [lowest, highest].
uint64_t HighestOf(ValueType type)
{
    return IsSignedType(type) ? WidthMask(type) >> 1 : WidthMask(type);
}

int64_t LowestOf(ValueType type)
{
    return IsSignedType(type) ? static_cast<int64_t>(~HighestOf(type)) : 0;
}

uint64_t FloatBits(float number)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

uint64_t DoubleBits(double number)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

}  // namespace

void PlaceValueBits(ValueType type, ValueOrder order, uint64_t bits, uint16_t* registers)
{
    const int count = ValueRegisterCount(type);
    for (int index = 0; index < count; ++index) {
        uint16_t word = static_cast<uint16_t>(bits >> (16 * (count - 1 - index)));
        if (SwapsBytes(order)) {
            word = SwapBytes(word);
        }
        registers[ReversesWords(order) ? count - 1 - index : index] = word;
    }
}

uint64_t TakeValueBits(ValueType type, ValueOrder order, const uint16_t* registers)
{
    const int count = ValueRegisterCount(type);
    uint64_t bits = 0;
    for (int index = 0; index < count; ++index) {
        uint16_t word = registers[ReversesWords(order) ? count - 1 - index : index];
        if (SwapsBytes(order)) {
            word = SwapBytes(word);
        }
        bits = (bits << 16) | word;
    }
    return bits;
}

bool BitsFromSigned(ValueType type, int64_t number, uint64_t* bits)
{
    if (IsRealType(type)) {
        return BitsFromReal(type, static_cast<double>(number), bits);
    }
    if (number < 0) {
        if (!IsSignedType(type) || number < LowestOf(type)) {
            return false;
        }
        *bits = static_cast<uint64_t>(number) & WidthMask(type);
        return true;
    }
    return BitsFromUnsigned(type, static_cast<uint64_t>(number), bits);
}

bool BitsFromUnsigned(ValueType type, uint64_t number, uint64_t* bits)
{
    if (IsRealType(type)) {
        return BitsFromReal(type, static_cast<double>(number), bits);
    }
    if (type == ValueType::kAscii || number > HighestOf(type)) {
        return false;
    }
    *bits = number;
    return true;
}

bool BitsFromReal(ValueType type, double number, uint64_t* bits)
{
    if (type == ValueType::kFloat64) {
        *bits = DoubleBits(number);
        return true;
    }
    if (type == ValueType::kFloat32) {
        // Numbers a little past the largest float round down to it: the shortest texts of that
        // float (3.4028235e+38, or 3.40282347e+38 with nine digits) are such numbers. Halfway to
        // the next power of two and beyond, they round to infinity.
        if (std::isfinite(number) && std::fabs(number) >= 0x1.ffffffp+127) {
            return false;
        }
        *bits = FloatBits(static_cast<float>(number));
        return true;
    }
    if (type == ValueType::kAscii || !std::isfinite(number) || std::trunc(number) != number) {
        return false;
    }
    // 2^63 and 2^64 are exact doubles; the casts below are defined only inside them.
    if (number < 0) {
        return number >= -9223372036854775808.0 && BitsFromSigned(type, static_cast<int64_t>(number), bits);
    }
    return number < 18446744073709551616.0 && BitsFromUnsigned(type, static_cast<uint64_t>(number), bits);
}

int64_t SignedFromBits(ValueType type, uint64_t bits)
{
    const int unused = 64 - BitWidth(type);
    return static_cast<int64_t>(bits << unused) >> unused;
}

uint64_t UnsignedFromBits(ValueType type, uint64_t bits)
{
    return bits & WidthMask(type);
}

double RealFromBits(ValueType type, uint64_t bits)
{
    if (type == ValueType::kFloat32) {
        const uint32_t narrow = static_cast<uint32_t>(bits);
        float number = 0;
        std::memcpy(&number, &narrow, sizeof number);
        return number;
    }
    if (type == ValueType::kFloat64) {
        double number = 0;
        std::memcpy(&number, &bits, sizeof number);
        return number;
    }
    if (IsSignedType(type)) {
        return static_cast<double>(SignedFromBits(type, bits));
    }
    return static_cast<double>(UnsignedFromBits(type, bits));
}

size_t AsciiRegisterCount(size_t characters)
{
    return (characters + 1) / 2;
}

void PlaceAscii(const char* text, size_t characters, ValueOrder order, uint16_t* registers)
{
    for (size_t index = 0; index < AsciiRegisterCount(characters); ++index) {
        const uint8_t high = static_cast<uint8_t>(text[2 * index]);
        const uint8_t low = 2 * index + 1 < characters ? static_cast<uint8_t>(text[2 * index + 1]) : 0;
        const uint16_t word = static_cast<uint16_t>((high << 8) | low);
        registers[index] = SwapsBytes(order) ? SwapBytes(word) : word;
    }
}

void TakeAscii(const uint16_t* registers, size_t characters, ValueOrder order, char* text)
{
    for (size_t index = 0; index < characters; ++index) {
        uint16_t word = registers[index / 2];
        if (SwapsBytes(order)) {
            word = SwapBytes(word);
        }
        text[index] = static_cast<char>(index % 2 == 0 ? word >> 8 : word & 0xFF);
    }
}
