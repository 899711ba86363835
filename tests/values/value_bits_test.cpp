#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "values/value_bits.h"

namespace {

struct Image {
    ValueType type;
    ValueOrder order;
    uint64_t bits;
    std::vector<uint16_t> registers;
};

// The register images devices document: 3.14f is 0x4048F5C3, 1.0 is 0x3FF0000000000000.
const Image kImages[] = {
    {ValueType::kUint16, ValueOrder::kAbcd, 0x1234, {0x1234}},
    {ValueType::kUint16, ValueOrder::kCdab, 0x1234, {0x1234}},
    {ValueType::kInt16, ValueOrder::kBadc, 0x1234, {0x3412}},
    {ValueType::kInt16, ValueOrder::kDcba, 0x1234, {0x3412}},
    {ValueType::kFloat32, ValueOrder::kAbcd, 0x4048F5C3, {0x4048, 0xF5C3}},
    {ValueType::kFloat32, ValueOrder::kCdab, 0x4048F5C3, {0xF5C3, 0x4048}},
    {ValueType::kFloat32, ValueOrder::kBadc, 0x4048F5C3, {0x4840, 0xC3F5}},
    {ValueType::kFloat32, ValueOrder::kDcba, 0x4048F5C3, {0xC3F5, 0x4840}},
    {ValueType::kInt64, ValueOrder::kAbcd, 0x0102030405060708, {0x0102, 0x0304, 0x0506, 0x0708}},
    {ValueType::kUint64, ValueOrder::kCdab, 0x0102030405060708, {0x0708, 0x0506, 0x0304, 0x0102}},
    {ValueType::kFloat64, ValueOrder::kBadc, 0x3FF0000000000000, {0xF03F, 0x0000, 0x0000, 0x0000}},
    {ValueType::kFloat64, ValueOrder::kDcba, 0x0102030405060708, {0x0807, 0x0605, 0x0403, 0x0201}},
};

TEST(ValueBitsTest, PlacesEveryOrderAsDevicesDocumentItAndTakesItBack)
{
    for (const Image& image : kImages) {
        SCOPED_TRACE(std::string(ValueTypeName(image.type)) + " " + ValueOrderName(image.order));
        std::vector<uint16_t> registers(image.registers.size());
        PlaceValueBits(image.type, image.order, image.bits, registers.data());
        EXPECT_EQ(registers, image.registers);
        EXPECT_EQ(TakeValueBits(image.type, image.order, registers.data()), image.bits);
    }
}

TEST(ValueBitsTest, NumbersAreRefusedExactlyWhereTheTypeCannotHoldThem)
{
    uint64_t bits = 0;
    // The edges of each integer range, from each kind of number a document may hold.
    EXPECT_TRUE(BitsFromSigned(ValueType::kInt16, -32768, &bits));
    EXPECT_EQ(bits, 0x8000u);
    EXPECT_FALSE(BitsFromSigned(ValueType::kInt16, -32769, &bits));
    EXPECT_FALSE(BitsFromUnsigned(ValueType::kInt16, 32768, &bits));
    EXPECT_FALSE(BitsFromSigned(ValueType::kUint16, -1, &bits));
    EXPECT_TRUE(BitsFromUnsigned(ValueType::kUint32, 4294967295u, &bits));
    EXPECT_FALSE(BitsFromUnsigned(ValueType::kUint32, 4294967296u, &bits));
    EXPECT_TRUE(BitsFromSigned(ValueType::kInt64, INT64_MIN, &bits));
    EXPECT_EQ(SignedFromBits(ValueType::kInt64, bits), INT64_MIN);
    EXPECT_TRUE(BitsFromUnsigned(ValueType::kUint64, UINT64_MAX, &bits));
    EXPECT_FALSE(BitsFromUnsigned(ValueType::kInt64, UINT64_MAX, &bits));
    EXPECT_TRUE(BitsFromReal(ValueType::kInt32, -2147483648.0, &bits));
    EXPECT_EQ(SignedFromBits(ValueType::kInt32, bits), -2147483648LL);
    EXPECT_FALSE(BitsFromReal(ValueType::kInt32, 2147483648.0, &bits));
    EXPECT_FALSE(BitsFromReal(ValueType::kUint16, 1.5, &bits));
    EXPECT_FALSE(BitsFromReal(ValueType::kUint64, 18446744073709551616.0, &bits));
    EXPECT_FALSE(BitsFromReal(ValueType::kInt64, NAN, &bits));
    // Floats: NaN and infinity are float values; a finite number past float32 is not.
    EXPECT_TRUE(BitsFromReal(ValueType::kFloat32, NAN, &bits));
    EXPECT_TRUE(std::isnan(RealFromBits(ValueType::kFloat32, bits)));
    EXPECT_FALSE(BitsFromReal(ValueType::kFloat32, 1e39, &bits));
    EXPECT_TRUE(BitsFromReal(ValueType::kFloat32, 3.4028235e+38, &bits));   // the largest float's shortest text
    EXPECT_EQ(bits, 0x7F7FFFFFu);
    EXPECT_FALSE(BitsFromReal(ValueType::kFloat32, 0x1.ffffffp+127, &bits));   // halfway to 2^128 rounds up
    EXPECT_TRUE(BitsFromReal(ValueType::kFloat64, 1e300, &bits));
    EXPECT_TRUE(BitsFromSigned(ValueType::kFloat32, -3, &bits));
    EXPECT_EQ(RealFromBits(ValueType::kFloat32, bits), -3.0);
    EXPECT_FALSE(BitsFromSigned(ValueType::kAscii, 1, &bits));
}

TEST(ValueBitsTest, AsciiPutsTwoCharactersInARegisterAndPadsTheLast)
{
    uint16_t registers[2] = {0xFFFF, 0xFFFF};
    PlaceAscii("ABC", 3, ValueOrder::kAbcd, registers);
    EXPECT_EQ(registers[0], 0x4142);
    EXPECT_EQ(registers[1], 0x4300);
    PlaceAscii("ABC", 3, ValueOrder::kBadc, registers);
    EXPECT_EQ(registers[0], 0x4241);
    EXPECT_EQ(registers[1], 0x0043);
    char text[3] = {};
    TakeAscii(registers, 3, ValueOrder::kBadc, text);
    EXPECT_EQ(std::memcmp(text, "ABC", 3), 0);
}

}  // namespace
