// Window edges, the no-wrap test at 65,535, mask-write arithmetic, the read-before-write of
// ReadWriteRegisters, and that a refused run copies nothing either way.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "tables/coil_table.h"
#include "tables/data_tables.h"
#include "tables/discrete_input_table.h"
#include "tables/function_enable_table.h"
#include "tables/input_register_table.h"
#include "tables/register_table.h"

namespace {

class DataTablesTest : public ::testing::Test {
protected:
    void SetUp() override { InitDataTables(); }
};

uint16_t Register(uint32_t address)
{
    uint16_t value;
    PeekRegisters(address, 1, &value);
    return value;
}

void PokeRegister(uint32_t address, uint16_t value) { PokeRegisters(address, 1, &value); }

struct WindowCase {
    uint16_t first;
    uint16_t last;
    uint32_t address;
    uint32_t count;
    bool accepted;
};

const WindowCase kWindowCases[] = {
    {0, 65535, 65535, 1, true},
    {0, 65535, 65535, 2, false},    // would wrap to address 0 in 16 bits
    {0, 65535, 65534, 2, true},
    {0, 65535, 0, 2000, true},
    {0, 65535, 63536, 2000, true},  // ends on 65,535
    {0, 65535, 63537, 2000, false},
    {100, 199, 100, 100, true},
    {100, 199, 99, 1, false},
    {100, 199, 100, 101, false},
    {100, 199, 199, 1, true},
    {100, 199, 200, 1, false},
    {100, 199, 98, 3, false},       // starts before, ends inside
    {5, 5, 5, 1, true},
    {5, 5, 5, 2, false},
    {200, 100, 150, 1, false},      // first > last refuses everything
    {200, 100, 200, 1, false},
    {200, 100, 100, 1, false},
};

TEST(RunInsideWindow, EdgesAndNoWrap)
{
    for (const WindowCase& c : kWindowCases) {
        EXPECT_EQ(RunInsideWindow(AddressWindow{c.first, c.last}, c.address, c.count), c.accepted)
            << "window " << c.first << ".." << c.last << " run " << c.address << "+" << c.count;
    }
}

// The start-and-size rule of the dialog and the command line, including sums past 32 and 64 bits.
TEST(CheckWindowRange, SizeAtLeastOneAndEndWithinTheTable)
{
    const struct {
        uint64_t start;
        uint64_t size;
        WindowRange expected;
    } cases[] = {
        {0, 65536, WindowRange::kFits},          {65535, 1, WindowRange::kFits},
        {65535, 2, WindowRange::kPastTableEnd},  {65536, 0, WindowRange::kSizeZero},
        {0, 0, WindowRange::kSizeZero},          {70000, 1, WindowRange::kPastTableEnd},
        {10, 4294967290, WindowRange::kPastTableEnd},  // 32-bit sum wraps to 4
        {UINT64_MAX, 2, WindowRange::kPastTableEnd},   // 64-bit sum wraps to 1
        {1, UINT64_MAX, WindowRange::kPastTableEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckWindowRange(c.start, c.size), c.expected) << c.start << "+" << c.size;
    }
    const AddressWindow last = WindowOfRange(65535, 1);
    EXPECT_EQ(last.first, 65535);
    EXPECT_EQ(last.last, 65535);
}

// Counts arrive as unsigned 32-bit values (the console passes plain integers). In signed 32-bit
// arithmetic address + count - 1 overflows for the largest counts and can come out below `last`;
// such runs must be refused, and nothing copied.
TEST(RunInsideWindow, HugeCountsNeverWrap)
{
    const AddressWindow whole{0, 65535};
    for (uint32_t address : {0u, 1u, 65535u}) {
        for (uint32_t count : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
            EXPECT_FALSE(RunInsideWindow(whole, address, count)) << address << "+" << count;
        }
    }
    uint16_t dest = 0xEEEE;
    EXPECT_FALSE(ReadRegisters(2, 0xFFFFFFFFu, &dest));
    EXPECT_FALSE(WriteRegisters(2, 0xFFFFFFFFu, &dest));
    uint8_t coil = 0xEE;
    EXPECT_FALSE(ReadCoils(2, 0xFFFFFFFFu, &coil));
    EXPECT_FALSE(WriteCoils(2, 0xFFFFFFFFu, &coil));
    EXPECT_EQ(dest, 0xEEEE);
    EXPECT_EQ(coil, 0xEE);
}

// Every guarded operation applies the same test: accepted runs copy, refused ones copy nothing.
TEST_F(DataTablesTest, GuardedOperationsFollowTheWindow)
{
    for (const WindowCase& c : kWindowCases) {
        InitDataTables();
        SetRegisterWindow(c.first, c.last);
        SetCoilWindow(c.first, c.last);
        SetInputRegisterWindow(c.first, c.last);
        SetDiscreteInputWindow(c.first, c.last);
        const uint32_t pokeFirst = c.address > 0 ? c.address - 1 : 0;
        const uint32_t pokeCount = (c.address + c.count < 65536 ? c.address + c.count + 1 : 65536) - pokeFirst;
        static uint16_t registerPattern[2002];
        static uint8_t coilPattern[2002];
        for (uint32_t i = 0; i < pokeCount; ++i) {
            registerPattern[i] = static_cast<uint16_t>(0x4000 + i);
            coilPattern[i] = 1;
        }
        PokeRegisters(pokeFirst, pokeCount, registerPattern);
        PokeCoils(pokeFirst, pokeCount, coilPattern);
        PokeInputRegisters(pokeFirst, pokeCount, registerPattern);
        PokeDiscreteInputs(pokeFirst, pokeCount, coilPattern);

        static uint16_t registers[2000];
        static uint8_t coils[2000];
        std::memset(registers, 0xEE, sizeof registers);
        std::memset(coils, 0xEE, sizeof coils);
        EXPECT_EQ(ReadRegisters(c.address, c.count, registers), c.accepted);
        EXPECT_EQ(ReadCoils(c.address, c.count, coils), c.accepted);
        const uint32_t offset = c.address - pokeFirst;
        for (uint32_t i = 0; i < c.count; ++i) {
            ASSERT_EQ(registers[i], c.accepted ? registerPattern[offset + i] : 0xEEEE) << i;
            ASSERT_EQ(coils[i], c.accepted ? 1 : 0xEE) << i;
        }
        // The read-only tables keep the same rule.
        std::memset(registers, 0xEE, sizeof registers);
        std::memset(coils, 0xEE, sizeof coils);
        EXPECT_EQ(ReadInputRegisters(c.address, c.count, registers), c.accepted);
        EXPECT_EQ(ReadDiscreteInputs(c.address, c.count, coils), c.accepted);
        for (uint32_t i = 0; i < c.count; ++i) {
            ASSERT_EQ(registers[i], c.accepted ? registerPattern[offset + i] : 0xEEEE) << i;
            ASSERT_EQ(coils[i], c.accepted ? 1 : 0xEE) << i;
        }

        static const uint16_t zeros16[2000] = {};
        static const uint8_t zeros8[2000] = {};
        EXPECT_EQ(WriteRegisters(c.address, c.count, zeros16), c.accepted);
        EXPECT_EQ(WriteCoils(c.address, c.count, zeros8), c.accepted);
        static uint16_t afterRegisters[2002];
        static uint8_t afterCoils[2002];
        PeekRegisters(pokeFirst, pokeCount, afterRegisters);
        PeekCoils(pokeFirst, pokeCount, afterCoils);
        for (uint32_t i = 0; i < pokeCount; ++i) {
            const bool written = c.accepted && i >= offset && i < offset + c.count;
            ASSERT_EQ(afterRegisters[i], written ? 0 : registerPattern[i]) << i;
            ASSERT_EQ(afterCoils[i], written ? 0 : 1) << i;
        }
        // Nothing wrapped round to the start of the table.
        EXPECT_EQ(Register(0), pokeFirst == 0 ? afterRegisters[0] : 0);
    }
}

TEST_F(DataTablesTest, WindowsReadBackAndDefaultToWholeTable)
{
    uint16_t first = 1, last = 1;
    GetRegisterWindow(&first, &last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 65535);
    SetRegisterWindow(100, 199);
    SetCoilWindow(7, 8);
    GetRegisterWindow(&first, &last);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(last, 199);
    GetCoilWindow(&first, &last);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(last, 8);
}

struct MaskCase {
    uint16_t cell;
    uint16_t andMask;
    uint16_t orMask;
    uint16_t result;
};

const MaskCase kMaskCases[] = {
    {0x0012, 0x00F2, 0x0025, 0x0017},
    {0xBEEF, 0xFFFF, 0x1234, 0xBEEF},  // AND all ones: unchanged whatever the OR mask
    {0xBEEF, 0x0000, 0x1234, 0x1234},  // AND zero: the OR mask
    {0xFFFF, 0xFF00, 0x00FF, 0xFFFF},
    {0x0000, 0x0F0F, 0xFFFF, 0xF0F0},  // OR bits only where AND is 0
    {0x8001, 0x7FFE, 0x0000, 0x0000},
};

TEST_F(DataTablesTest, MaskWriteArithmetic)
{
    for (const MaskCase& c : kMaskCases) {
        PokeRegister(65535, c.cell);
        EXPECT_TRUE(MaskWriteRegister(65535, c.andMask, c.orMask));
        EXPECT_EQ(Register(65535), c.result) << std::hex << c.cell << " " << c.andMask << " " << c.orMask;
    }
}

TEST_F(DataTablesTest, MaskWriteOutsideWindowLeavesCell)
{
    SetRegisterWindow(100, 199);
    for (uint16_t address : {99, 200, 0, 65535}) {
        PokeRegister(address, 0x0012);
        EXPECT_FALSE(MaskWriteRegister(address, 0x0000, 0xFFFF));
        EXPECT_EQ(Register(address), 0x0012);
    }
    EXPECT_TRUE(MaskWriteRegister(100, 0x0000, 0xFFFF));
    EXPECT_TRUE(MaskWriteRegister(199, 0x0000, 0xFFFF));
}

TEST_F(DataTablesTest, ReadWriteReadsBeforeWriting)
{
    PokeRegister(10, 5);
    uint16_t read = 0;
    const uint16_t seven = 7;
    EXPECT_TRUE(ReadWriteRegisters(10, 1, &read, 10, 1, &seven));
    EXPECT_EQ(read, 5);
    EXPECT_EQ(Register(10), 7);
}

TEST_F(DataTablesTest, ReadWriteOverlappingRunsReadOldValues)
{
    const uint16_t before[] = {1, 2, 3, 4};
    PokeRegisters(20, 4, before);
    const uint16_t written[] = {9, 9, 9};
    uint16_t read[4] = {};
    EXPECT_TRUE(ReadWriteRegisters(20, 4, read, 21, 3, written));
    EXPECT_EQ(0, std::memcmp(read, before, sizeof before));
    const uint16_t after[] = {1, 9, 9, 9};
    uint16_t now[4];
    PeekRegisters(20, 4, now);
    EXPECT_EQ(0, std::memcmp(now, after, sizeof after));
}

TEST_F(DataTablesTest, ReadWriteWithRefusedWriteChangesNothing)
{
    SetRegisterWindow(0, 99);
    PokeRegister(98, 0x1111);
    PokeRegister(99, 0x2222);
    uint16_t read[2] = {};
    const uint16_t written[] = {7, 7};
    EXPECT_FALSE(ReadWriteRegisters(98, 2, read, 99, 2, written));
    EXPECT_EQ(Register(98), 0x1111);
    EXPECT_EQ(Register(99), 0x2222);
    EXPECT_EQ(Register(100), 0);
}

TEST_F(DataTablesTest, ReadWriteWithRefusedReadDoesNotWrite)
{
    SetRegisterWindow(0, 99);
    uint16_t read[2] = {0xAAAA, 0xAAAA};
    const uint16_t written[] = {7, 7};
    EXPECT_FALSE(ReadWriteRegisters(99, 2, read, 0, 2, written));
    EXPECT_EQ(read[0], 0xAAAA);
    EXPECT_EQ(Register(0), 0);
    EXPECT_EQ(Register(1), 0);
}

TEST_F(DataTablesTest, PeekAndPokeIgnoreWindows)
{
    SetRegisterWindow(100, 199);
    SetCoilWindow(100, 199);
    uint16_t values[30];
    uint8_t coils[30];
    for (uint16_t i = 0; i < 30; ++i) {
        values[i] = static_cast<uint16_t>(i + 1);
        coils[i] = static_cast<uint8_t>(i % 2);
    }
    PokeRegisters(0, 30, values);
    PokeCoils(65506, 30, coils);
    uint16_t readValues[30] = {};
    uint8_t readCoils[30] = {};
    PeekRegisters(0, 30, readValues);
    PeekCoils(65506, 30, readCoils);
    EXPECT_EQ(0, std::memcmp(values, readValues, sizeof values));
    EXPECT_EQ(0, std::memcmp(coils, readCoils, sizeof coils));
}

TEST(FunctionEnableTable, EntriesAndCodesWithoutOne)
{
    EXPECT_TRUE(IsFunctionEnabled(3));
    SetFunctionEnabled(3, false);
    EXPECT_FALSE(IsFunctionEnabled(3));
    EXPECT_TRUE(IsFunctionEnabled(4));  // entries are independent
    SetFunctionEnabled(3, true);
    EXPECT_TRUE(IsFunctionEnabled(3));
    EXPECT_TRUE(IsFunctionEnabled(127));
    for (unsigned code = 128; code < 256; ++code) {
        SetFunctionEnabled(static_cast<uint8_t>(code), true);
        EXPECT_FALSE(IsFunctionEnabled(static_cast<uint8_t>(code))) << code;
    }
}

}  // namespace
