#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "values/value_text.h"

namespace {

constexpr ValueOrder kAbcd = ValueOrder::kAbcd;
constexpr ValueOrder kCdab = ValueOrder::kCdab;
constexpr ValueOrder kBadc = ValueOrder::kBadc;
constexpr ValueOrder kDcba = ValueOrder::kDcba;
constexpr int kRoomy = kValueTextSize - 1;

struct Shown {
    ValueTextKind kind;
    ValueOrder order;
    std::vector<uint16_t> registers;
    int maxCharacters;
    const char* text;
};

// 3.14f is 0x4048F5C3, 1.0 is 0x3FF0000000000000, -2.5 is 0xC004000000000000.
const Shown kShown[] = {
    {ValueTextKind::kUnsigned, kAbcd, {65535}, kRoomy, "65535"},
    {ValueTextKind::kSigned, kAbcd, {0xFFFF}, kRoomy, "-1"},
    {ValueTextKind::kSigned, kAbcd, {0x8000}, kRoomy, "-32768"},
    {ValueTextKind::kSigned, kAbcd, {0x7FFF}, kRoomy, "32767"},
    {ValueTextKind::kHex, kAbcd, {0x1F}, kRoomy, "0x001F"},
    {ValueTextKind::kHex, kAbcd, {0xABCD}, kRoomy, "0xABCD"},
    {ValueTextKind::kBinary, kAbcd, {0x8001}, kRoomy, "1000000000000001"},
    {ValueTextKind::kAscii, kAbcd, {0x4142}, kRoomy, "AB"},
    {ValueTextKind::kAscii, kAbcd, {0x4100}, kRoomy, "A."},          // NUL padding
    {ValueTextKind::kAscii, kAbcd, {0x7F0A}, kRoomy, ".."},          // DEL and a line feed
    {ValueTextKind::kInt32, kAbcd, {0x8000, 0x0000}, kRoomy, "-2147483648"},
    {ValueTextKind::kInt32, kCdab, {0xFFFE, 0xFFFF}, kRoomy, "-2"},
    {ValueTextKind::kUint32, kBadc, {0x0001, 0x0000}, kRoomy, "16777216"},
    {ValueTextKind::kUint32, kAbcd, {0xFFFF, 0xFFFF}, kRoomy, "4294967295"},
    {ValueTextKind::kFloat32, kAbcd, {0x4048, 0xF5C3}, kRoomy, "3.14"},
    {ValueTextKind::kFloat32, kCdab, {0xF5C3, 0x4048}, kRoomy, "3.14"},
    {ValueTextKind::kFloat32, kBadc, {0x4840, 0xC3F5}, kRoomy, "3.14"},
    {ValueTextKind::kFloat32, kDcba, {0xC3F5, 0x4840}, kRoomy, "3.14"},
    {ValueTextKind::kFloat32, kAbcd, {0x7F80, 0x0000}, kRoomy, "inf"},
    {ValueTextKind::kFloat32, kAbcd, {0x4049, 0x0FDB}, 4, "3.14"},   // pi, fewer digits to fit
    {ValueTextKind::kInt64, kAbcd, {0x8000, 0, 0, 0}, kRoomy, "-9223372036854775808"},
    {ValueTextKind::kInt64, kDcba, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, kRoomy, "-1"},
    {ValueTextKind::kUint64, kAbcd, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, 3, "18446744073709551615"},   // exact, past the limit
    {ValueTextKind::kFloat64, kAbcd, {0x3FF0, 0, 0, 0}, kRoomy, "1"},
    {ValueTextKind::kFloat64, kCdab, {0, 0, 0, 0xC004}, kRoomy, "-2.5"},
    {ValueTextKind::kFloat64, kAbcd, {0x3FB9, 0x9999, 0x9999, 0x999A}, kRoomy, "0.1"},
    {ValueTextKind::kFloat64, kAbcd, {0x4009, 0x21FB, 0x5444, 0x2D18}, kRoomy, "3.141592653589793"},
    {ValueTextKind::kFloat64, kAbcd, {0x4009, 0x21FB, 0x5444, 0x2D18}, 7, "3.14159"},   // fewer digits to fit
    {ValueTextKind::kFloat64, kAbcd, {0x7FEF, 0xFFFF, 0xFFFF, 0xFFFF}, 7, "2e+308"},
};

TEST(ValueTextTest, ShowsEveryFormatAndOrder)
{
    for (const Shown& shown : kShown) {
        SCOPED_TRACE(std::string(ValueTextKindName(shown.kind)) + " " + ValueOrderName(shown.order) + " " + shown.text);
        char text[kValueTextSize] = {};
        FormatValueText({shown.kind, shown.order}, shown.registers.data(), shown.maxCharacters, text);
        EXPECT_STREQ(text, shown.text);
    }
}

struct Typed {
    ValueTextKind kind;
    ValueOrder order;
    const char* text;
    std::vector<uint16_t> registers;   // empty: refused
};

const Typed kTyped[] = {
    {ValueTextKind::kUnsigned, kAbcd, " 65535\t", {65535}},
    {ValueTextKind::kUnsigned, kAbcd, "65536", {}},
    {ValueTextKind::kUnsigned, kAbcd, "-1", {}},
    {ValueTextKind::kUnsigned, kAbcd, "1.5", {}},
    {ValueTextKind::kUnsigned, kAbcd, "12ab", {}},
    {ValueTextKind::kUnsigned, kAbcd, "+1", {}},   // unsigned numbers take no sign
    {ValueTextKind::kSigned, kAbcd, "-1", {65535}},
    {ValueTextKind::kSigned, kAbcd, "+32767", {32767}},
    {ValueTextKind::kSigned, kAbcd, "-32768", {0x8000}},
    {ValueTextKind::kSigned, kAbcd, "-32769", {}},
    {ValueTextKind::kSigned, kAbcd, "32768", {}},
    {ValueTextKind::kSigned, kAbcd, "+-1", {}},
    {ValueTextKind::kHex, kAbcd, "0x1F", {31}},
    {ValueTextKind::kHex, kAbcd, "ffff", {65535}},
    {ValueTextKind::kHex, kAbcd, "0X00aB", {0xAB}},
    {ValueTextKind::kHex, kAbcd, "0x10000", {}},
    {ValueTextKind::kHex, kAbcd, "0x", {}},
    {ValueTextKind::kHex, kAbcd, "0xG1", {}},
    {ValueTextKind::kHex, kAbcd, "-1", {}},
    {ValueTextKind::kBinary, kAbcd, "1000000000000001", {0x8001}},
    {ValueTextKind::kBinary, kAbcd, "0b101", {5}},
    {ValueTextKind::kBinary, kAbcd, "10000000000000000", {}},   // seventeen bits
    {ValueTextKind::kBinary, kAbcd, "0b00000000000000001", {1}},   // leading zeros are no bits
    {ValueTextKind::kBinary, kAbcd, "102", {}},
    {ValueTextKind::kAscii, kAbcd, "AB", {0x4142}},
    {ValueTextKind::kAscii, kAbcd, "A", {0x4100}},
    {ValueTextKind::kAscii, kAbcd, " A", {0x2041}},   // a blank is a character here
    {ValueTextKind::kAscii, kAbcd, "ABC", {}},
    {ValueTextKind::kAscii, kAbcd, "\xE9", {}},
    {ValueTextKind::kInt32, kAbcd, "-2147483648", {0x8000, 0x0000}},
    {ValueTextKind::kInt32, kCdab, "-2", {0xFFFE, 0xFFFF}},
    {ValueTextKind::kInt32, kAbcd, "2147483648", {}},
    {ValueTextKind::kUint32, kBadc, "16777216", {0x0001, 0x0000}},
    {ValueTextKind::kUint32, kAbcd, "4294967296", {}},
    {ValueTextKind::kUint32, kAbcd, "-1", {}},
    {ValueTextKind::kFloat32, kAbcd, "3.14", {0x4048, 0xF5C3}},
    {ValueTextKind::kFloat32, kCdab, " 3.14 ", {0xF5C3, 0x4048}},
    {ValueTextKind::kFloat32, kBadc, "3.14", {0x4840, 0xC3F5}},
    {ValueTextKind::kFloat32, kDcba, "3.14", {0xC3F5, 0x4840}},
    {ValueTextKind::kFloat32, kAbcd, "-1e3", {0xC47A, 0x0000}},
    {ValueTextKind::kFloat32, kAbcd, "3.5e38", {}},   // past float32's largest
    {ValueTextKind::kFloat32, kAbcd, "3.14x", {}},
    {ValueTextKind::kFloat32, kAbcd, "", {}},
    {ValueTextKind::kInt64, kAbcd, "-9223372036854775808", {0x8000, 0, 0, 0}},
    {ValueTextKind::kInt64, kDcba, "-1", {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {ValueTextKind::kInt64, kAbcd, "9223372036854775808", {}},
    {ValueTextKind::kUint64, kCdab, "18446744073709551615", {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {ValueTextKind::kUint64, kAbcd, "18446744073709551616", {}},
    {ValueTextKind::kFloat64, kAbcd, "1", {0x3FF0, 0, 0, 0}},
    {ValueTextKind::kFloat64, kCdab, "-2.5", {0, 0, 0, 0xC004}},
    {ValueTextKind::kFloat64, kAbcd, "1e309", {}},
};

TEST(ValueTextTest, ReadsWhatTheOperatorTypesAndRefusesWhatDoesNotFit)
{
    for (const Typed& typed : kTyped) {
        SCOPED_TRACE(std::string(ValueTextKindName(typed.kind)) + " " + ValueOrderName(typed.order) + " '" + typed.text + "'");
        uint16_t registers[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
        const bool read = ParseValueText({typed.kind, typed.order}, typed.text, registers);
        EXPECT_EQ(read, !typed.registers.empty());
        const size_t count = static_cast<size_t>(ValueTextRegisterCount(typed.kind));
        const std::vector<uint16_t> written(registers, registers + count);
        EXPECT_EQ(written, read ? typed.registers : std::vector<uint16_t>(count, 0xEEEE));
    }
}

}  // namespace
