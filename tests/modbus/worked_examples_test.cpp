// Whole request ADUs in, whole response ADUs out, byte for byte, including what the tables hold
// before and after.

#include <gtest/gtest.h>

#include <string>

#include "modbus/adu_test_helpers.h"
#include "parvane_version.h"
#include "tables/discrete_input_table.h"
#include "tables/input_register_table.h"

namespace {

uint16_t Register(uint32_t address)
{
    uint16_t value;
    PeekRegisters(address, 1, &value);
    return value;
}

uint8_t Coil(uint32_t address)
{
    uint8_t value;
    PeekCoils(address, 1, &value);
    return value;
}

void PokeRegister(uint32_t address, uint16_t value) { PokeRegisters(address, 1, &value); }

struct WorkedExample {
    const char* name;
    void (*prepare)();
    Bytes request;
    Bytes response;
    void (*check)();  // what the tables hold afterwards
};

void Nothing() {}

void SetDeviceId(const char* const (&texts)[kDeviceIdObjectCount])
{
    DeviceIdentification identification{};
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        SetDeviceIdObject(&identification, id, texts[id], std::strlen(texts[id]));
    }
    ApplyDeviceIdentification(identification);
}

void SetShortDeviceId()
{
    SetDeviceId({"Vn", "Pc", "1.2", "U", "Pn", ""});
}

void PrintTo(const WorkedExample& example, std::ostream* out) { *out << example.name; }

const WorkedExample kWorkedExamples[] = {
    {"ReadTwoRegisters",
     [] { PokeRegister(100, 0x1234); PokeRegister(101, 0x0001); },
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01,  // MBAP, unit 1
      0x03, 0x00, 0x64, 0x00, 0x02},             // code 3, address 100, quantity 2
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x03, 0x04, 0x12, 0x34, 0x00, 0x01},       // 4 bytes: 0x1234, 0x0001
     Nothing},
    {"ReadTenCoils",
     [] { const uint8_t coils[] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0}; PokeCoils(20, 10, coils); },
     {0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x01, 0x00, 0x14, 0x00, 0x0A},             // code 1, address 20, quantity 10
     {0x00, 0x02, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x01, 0x02, 0xCD, 0x01},                   // 2 bytes, first coil in bit 0
     Nothing},
    {"ReadOutsideRegisterWindow",
     [] { SetRegisterWindow(0, 99); },
     {0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x03, 0x00, 0x64, 0x00, 0x01},             // register 100, window 0..99
     {0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x83, 0x02},                               // exception 2
     Nothing},
    {"WriteTwoRegisters",
     Nothing,
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x0B, 0x01,
      0x10, 0x00, 0x64, 0x00, 0x02,              // code 16, address 100, quantity 2
      0x04, 0x12, 0x34, 0x56, 0x78},             // 4 bytes: 0x1234, 0x5678
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x10, 0x00, 0x64, 0x00, 0x02},             // echo of address and quantity
     [] { EXPECT_EQ(Register(100), 0x1234); EXPECT_EQ(Register(101), 0x5678); }},
    {"ReadWriteReadsBeforeWriting",
     [] { PokeRegister(10, 5); PokeRegister(11, 6); },
     {0x00, 0x05, 0x00, 0x00, 0x00, 0x0D, 0x01,
      0x17, 0x00, 0x0A, 0x00, 0x02,              // code 23, read 10..11
      0x00, 0x0B, 0x00, 0x01, 0x02, 0x00, 0x07}, // write 7 to register 11
     {0x00, 0x05, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x17, 0x04, 0x00, 0x05, 0x00, 0x06},       // register 11 as it was before the write
     [] { EXPECT_EQ(Register(10), 5); EXPECT_EQ(Register(11), 7); }},
    {"UnimplementedCodeSeven",
     Nothing,
     {0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x07, 0x00, 0x00, 0x00, 0x01},
     {0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x87, 0x01},                               // exception 1
     Nothing},
    // Codes 2 and 4 read their own tables, not the coils and holding registers at the same address.
    {"ReadElevenDiscreteInputs",
     [] {
         const uint8_t inputs[] = {1, 0, 1, 1, 0, 0, 1, 1, 0, 1, 1};
         PokeDiscreteInputs(20, 11, inputs);
         const uint8_t coils[11] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
         PokeCoils(20, 11, coils);
     },
     {0x00, 0x10, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x02, 0x00, 0x14, 0x00, 0x0B},             // code 2, address 20, quantity 11
     {0x00, 0x10, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x02, 0x02, 0xCD, 0x06},                   // 2 bytes, first input in bit 0, bits 3..7 of the last 0
     Nothing},
    {"ReadTwoInputRegisters",
     [] {
         const uint16_t values[] = {0xABCD, 0x0102};
         PokeInputRegisters(65534, 2, values);
         PokeRegister(65534, 0x1111);
     },
     {0x00, 0x11, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x04, 0xFF, 0xFE, 0x00, 0x02},             // code 4, address 65,534, quantity 2
     {0x00, 0x11, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x04, 0x04, 0xAB, 0xCD, 0x01, 0x02},
     Nothing},
    {"ReadOutsideDiscreteInputWindow",
     [] { SetDiscreteInputWindow(10, 19); SetCoilWindow(0, 65535); },
     {0x00, 0x12, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x02, 0x00, 0x13, 0x00, 0x02},             // inputs 19..20, window 10..19
     {0x00, 0x12, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x82, 0x02},                               // exception 2
     Nothing},
    {"ReadOutsideInputRegisterWindow",
     [] { SetInputRegisterWindow(100, 199); },
     {0x00, 0x13, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x04, 0x00, 0x63, 0x00, 0x01},             // input register 99, window 100..199
     {0x00, 0x13, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x84, 0x02},
     Nothing},
    {"ReadInputRegistersOnePastLimit",
     Nothing,
     {0x00, 0x14, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x04, 0x00, 0x00, 0x00, 0x7E},             // quantity 126
     {0x00, 0x14, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x84, 0x03},                               // exception 3
     Nothing},
    {"ReadDiscreteInputsDisabled",
     [] { SetFunctionEnabled(2, false); },
     {0x00, 0x15, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x02, 0x00, 0x00, 0x00, 0x01},
     {0x00, 0x15, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x82, 0x01},                               // exception 1
     Nothing},
    {"ReadInputRegistersDisabled",
     [] { SetFunctionEnabled(4, false); },
     {0x00, 0x16, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x04, 0x00, 0x00, 0x00, 0x01},
     {0x00, 0x16, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x84, 0x01},
     Nothing},
    {"ForceCoilZeroOn",
     Nothing,
     {0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x05, 0x00, 0x00, 0xFF, 0x00},             // code 5, coil 0, ON
     {0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x05, 0x00, 0x00, 0xFF, 0x00},
     [] { EXPECT_EQ(Coil(0), 1); }},
    {"ForceCoilOff",
     [] { const uint8_t on = 1; PokeCoils(7, 1, &on); },
     {0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x05, 0x00, 0x07, 0x00, 0x00},             // code 5, coil 7, OFF
     {0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x05, 0x00, 0x07, 0x00, 0x00},
     [] { EXPECT_EQ(Coil(7), 0); }},
    {"WriteSingleRegisterAllOnes",
     Nothing,
     {0x12, 0x34, 0x00, 0x00, 0x00, 0x06, 0xFF,  // unit 255 is not examined
      0x06, 0xFF, 0xFF, 0xFF, 0xFF},             // code 6, register 65,535, 0xFFFF
     {0x12, 0x34, 0x00, 0x00, 0x00, 0x06, 0xFF,
      0x06, 0xFF, 0xFF, 0xFF, 0xFF},
     [] { EXPECT_EQ(Register(65535), 0xFFFF); }},
    {"MaskWriteInsideWindow",
     [] { PokeRegister(4, 0x0012); },
     {0x00, 0x09, 0x00, 0x00, 0x00, 0x08, 0x00,  // unit 0 is not examined
      0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25}, // code 22, AND 0x00F2, OR 0x0025
     {0x00, 0x09, 0x00, 0x00, 0x00, 0x08, 0x00,
      0x16, 0x00, 0x04, 0x00, 0xF2, 0x00, 0x25},
     [] { EXPECT_EQ(Register(4), 0x0017); }},
    {"MaskWriteOutsideWindow",
     [] { PokeRegister(4, 0x0012); SetRegisterWindow(5, 10); },
     {0x00, 0x09, 0x00, 0x00, 0x00, 0x08, 0x01,
      0x16, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xFF},
     {0x00, 0x09, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x96, 0x02},
     [] { EXPECT_EQ(Register(4), 0x0012); }},
    {"ReadOneCoilSetsOnlyBitZero",
     [] { const uint8_t coils[] = {1, 1}; PokeCoils(0, 2, coils); },
     {0x00, 0x0A, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x01, 0x00, 0x00, 0x00, 0x01},
     {0x00, 0x0A, 0x00, 0x00, 0x00, 0x04, 0x01,
      0x01, 0x01, 0x01},
     Nothing},
    {"ReadWriteWithWriteRunOutsideWindow",
     [] { SetRegisterWindow(0, 99); PokeRegister(10, 5); PokeRegister(99, 9); },
     {0x00, 0x0B, 0x00, 0x00, 0x00, 0x0F, 0x01,
      0x17, 0x00, 0x0A, 0x00, 0x01,              // read register 10 (inside)
      0x00, 0x63, 0x00, 0x02, 0x04,              // write 99..100 (one past the window)
      0x00, 0x01, 0x00, 0x02},
     {0x00, 0x0B, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x97, 0x02},
     [] { EXPECT_EQ(Register(99), 9); EXPECT_EQ(Register(100), 0); }},
    {"WriteCoilsSpanningWindowEndByOne",
     [] { SetCoilWindow(0, 15); },
     {0x00, 0x0C, 0x00, 0x00, 0x00, 0x09, 0x01,
      0x0F, 0x00, 0x08, 0x00, 0x09,              // code 15, coils 8..16, window 0..15
      0x02, 0xFF, 0x01},
     {0x00, 0x0C, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x8F, 0x02},
     [] { uint8_t coils[9]; PeekCoils(8, 9, coils); for (uint8_t c : coils) EXPECT_EQ(c, 0); }},
    {"WriteCoilsUnpacksFirstCoilFirst",
     Nothing,
     {0x00, 0x0D, 0x00, 0x00, 0x00, 0x09, 0x01,
      0x0F, 0x00, 0x14, 0x00, 0x0A,              // code 15, coils 20..29
      0x02, 0xCD, 0x01},
     {0x00, 0x0D, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x0F, 0x00, 0x14, 0x00, 0x0A},
     [] {
         const uint8_t expected[] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
         uint8_t coils[12];
         PeekCoils(19, 12, coils);
         EXPECT_EQ(coils[0], 0);
         EXPECT_EQ(0, std::memcmp(coils + 1, expected, 10));
         EXPECT_EQ(coils[11], 0);
     }},
    {"ReadWriteWritesFirstUnderStandardLimits",
     [] { PokeRegister(10, 5); PokeRegister(11, 6); SetStandardLimits(true); },
     {0x00, 0x05, 0x00, 0x00, 0x00, 0x0D, 0x01,
      0x17, 0x00, 0x0A, 0x00, 0x02,              // code 23, read 10..11
      0x00, 0x0B, 0x00, 0x01, 0x02, 0x00, 0x07}, // write 7 to register 11
     {0x00, 0x05, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x17, 0x04, 0x00, 0x05, 0x00, 0x07},       // register 11 as just written
     [] { EXPECT_EQ(Register(10), 5); EXPECT_EQ(Register(11), 7); }},
    {"WriteFirstWithReadRunOutsideWindowWritesNothing",
     [] { SetRegisterWindow(0, 99); PokeRegister(11, 6); SetStandardLimits(true); },
     {0x00, 0x06, 0x00, 0x00, 0x00, 0x0D, 0x01,
      0x17, 0x00, 0x63, 0x00, 0x02,              // read 99..100 (one past the window)
      0x00, 0x0B, 0x00, 0x01, 0x02, 0x00, 0x07}, // write 7 to register 11 (inside)
     {0x00, 0x06, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x97, 0x02},
     [] { EXPECT_EQ(Register(11), 6); }},
    {"ReturnQueryDataEchoes",
     Nothing,
     {0x00, 0x0F, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x08, 0x00, 0x00, 0xA5, 0x37, 0x42},       // code 8, sub-function 0, three data bytes
     {0x00, 0x0F, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x08, 0x00, 0x00, 0xA5, 0x37, 0x42},
     Nothing},
    {"DiagnosticsOtherSubFunction",
     Nothing,
     {0x00, 0x10, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x08, 0x00, 0x01, 0x00, 0x00},             // sub-function 1, Restart Communications
     {0x00, 0x10, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x88, 0x01},
     Nothing},
    {"DiagnosticsWithoutSubFunction",
     Nothing,
     {0x00, 0x11, 0x00, 0x00, 0x00, 0x02, 0x01,
      0x08},
     {0x00, 0x11, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x88, 0x03},
     Nothing},
    {"DiagnosticsDisabled",
     [] { SetFunctionEnabled(8, false); },
     {0x00, 0x12, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x08, 0x00, 0x00, 0x12, 0x34},
     {0x00, 0x12, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x88, 0x01},
     Nothing},
    {"DeviceIdRegularStream",
     SetShortDeviceId,
     {0x00, 0x13, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x02, 0x00},                   // MEI 14, regular stream from object 0
     {0x00, 0x13, 0x00, 0x00, 0x00, 0x1E, 0x01,
      0x2B, 0x0E, 0x02, 0x82, 0x00, 0x00, 0x06,  // conformity 0x82, no more, 6 objects
      0x00, 0x02, 'V', 'n', 0x01, 0x02, 'P', 'c', 0x02, 0x03, '1', '.', '2',
      0x03, 0x01, 'U', 0x04, 0x02, 'P', 'n', 0x05, 0x00},
     Nothing},
    {"DeviceIdExtendedStreamIsRegular",
     SetShortDeviceId,
     {0x00, 0x14, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x03, 0x04},                   // extended stream from object 4
     {0x00, 0x14, 0x00, 0x00, 0x00, 0x0E, 0x01,
      0x2B, 0x0E, 0x03, 0x82, 0x00, 0x00, 0x02,
      0x04, 0x02, 'P', 'n', 0x05, 0x00},
     Nothing},
    {"DeviceIdBasicStreamFromObject3RestartsAt0",
     SetShortDeviceId,
     {0x00, 0x15, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x01, 0x03},                   // object 3 is not a basic one
     {0x00, 0x15, 0x00, 0x00, 0x00, 0x15, 0x01,
      0x2B, 0x0E, 0x01, 0x82, 0x00, 0x00, 0x03,
      0x00, 0x02, 'V', 'n', 0x01, 0x02, 'P', 'c', 0x02, 0x03, '1', '.', '2'},
     Nothing},
    {"DeviceIdIndividualObject2",
     SetShortDeviceId,
     {0x00, 0x16, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x04, 0x02},
     {0x00, 0x16, 0x00, 0x00, 0x00, 0x0D, 0x01,
      0x2B, 0x0E, 0x04, 0x82, 0x00, 0x00, 0x01,
      0x02, 0x03, '1', '.', '2'},
     Nothing},
    {"DeviceIdIndividualUnknownObject",
     Nothing,
     {0x00, 0x17, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x04, 0x06},
     {0x00, 0x17, 0x00, 0x00, 0x00, 0x03, 0x01,
      0xAB, 0x02},
     Nothing},
    {"DeviceIdBadReadCode",
     Nothing,
     {0x00, 0x18, 0x00, 0x00, 0x00, 0x05, 0x01,
      0x2B, 0x0E, 0x05, 0x00},
     {0x00, 0x18, 0x00, 0x00, 0x00, 0x03, 0x01,
      0xAB, 0x03},
     Nothing},
    {"ExceptionKeepsHighBitCode",
     Nothing,
     {0x00, 0x0E, 0x00, 0x00, 0x00, 0x06, 0x01,
      0x83, 0x00, 0x00, 0x00, 0x01},
     {0x00, 0x0E, 0x00, 0x00, 0x00, 0x03, 0x01,
      0x83, 0x01},                               // 0x83 stays 0x83
     Nothing},
};

class WorkedExampleTest : public ::testing::TestWithParam<WorkedExample> {
protected:
    void SetUp() override { ResetDataTables(); }
    void TearDown() override { ResetDataTables(); }
};

TEST_P(WorkedExampleTest, AnswersByteForByte)
{
    const WorkedExample& example = GetParam();
    example.prepare();
    EXPECT_EQ(AnswerRequest(example.request), example.response);
    example.check();
}

INSTANTIATE_TEST_SUITE_P(Requests, WorkedExampleTest, ::testing::ValuesIn(kWorkedExamples),
                         [](const auto& info) { return std::string(info.param.name); });

// Codes 1 and 2 at their limit; each table holds the other's pattern inverted, so a read of the
// wrong table shows.
TEST(LargestResponses, ReadOf2000BitsFillsTwoHundredFiftyBytes)
{
    for (uint8_t code : {kFunctionReadCoils, kFunctionReadDiscreteInputs}) {
        ResetDataTables();
        uint8_t bits[kMaxReadCoils];
        uint8_t inverted[kMaxReadCoils];
        for (unsigned i = 0; i < kMaxReadCoils; ++i) {
            bits[i] = (i % 3 == 0) ? 1 : 0;
            inverted[i] = 1 - bits[i];
        }
        const bool coils = code == kFunctionReadCoils;
        PokeCoils(65536 - kMaxReadCoils, kMaxReadCoils, coils ? bits : inverted);
        PokeDiscreteInputs(65536 - kMaxReadCoils, kMaxReadCoils, coils ? inverted : bits);
        const Bytes response = AnswerRequest(WithMbapLength({0, 1, 0, 0, 0, 0, 1,
                                                             code, 0xF8, 0x30, 0x07, 0xD0}));  // 63,536, 2,000
        ASSERT_EQ(response.size(), 259u) << "code " << int(code);
        EXPECT_EQ(response[8], 250);
        for (unsigned i = 0; i < kMaxReadCoils; ++i) {
            ASSERT_EQ((response[9 + i / 8] >> (i % 8)) & 1, bits[i]) << "code " << int(code) << " bit " << i;
        }
    }
}

// Codes 3 and 4 at their limit, the other table holding different values.
TEST(LargestResponses, ReadOf125RegistersFillsTwoHundredFiftyBytes)
{
    for (uint8_t code : {kFunctionReadRegisters, kFunctionReadInputRegisters}) {
        ResetDataTables();
        for (uint16_t i = 0; i < kMaxReadRegisters; ++i) {
            const uint16_t value = static_cast<uint16_t>(0x0101 * i + 0x8000);
            const uint16_t other = static_cast<uint16_t>(~value);
            PokeRegister(1000 + i, code == kFunctionReadRegisters ? value : other);
            PokeInputRegisters(1000 + i, 1, code == kFunctionReadRegisters ? &other : &value);
        }
        const Bytes response = AnswerRequest(WithMbapLength({0, 1, 0, 0, 0, 0, 1,
                                                             code, 0x03, 0xE8, 0x00, 0x7D}));  // 1,000, 125
        ASSERT_EQ(response.size(), 259u) << "code " << int(code);
        EXPECT_EQ(response[8], 250);
        for (uint16_t i = 0; i < kMaxReadRegisters; ++i) {
            ASSERT_EQ((response[9 + 2 * i] << 8) | response[10 + 2 * i], 0x0101 * i + 0x8000) << "code " << int(code);
        }
    }
}

// A fresh launch answers the basic objects with its own names and the version --version prints.
TEST(DeviceIdentification, BasicStreamOfDefaults)
{
    ResetDataTables();
    Bytes expected = {0x00, 0x19, 0x00, 0x00, 0x00, 0x00, 0x01, 0x2B, 0x0E, 0x01, 0x82, 0x00, 0x00, 0x03};
    uint8_t id = 0;
    for (const char* text : {"Parvane", "parvane", PARVANE_VERSION}) {
        expected.push_back(id++);
        expected.push_back(static_cast<uint8_t>(std::strlen(text)));
        expected.insert(expected.end(), text, text + std::strlen(text));
    }
    EXPECT_EQ(AnswerRequest(WithMbapLength({0x00, 0x19, 0x00, 0x00, 0x00, 0x00, 0x01, 0x2B, 0x0E, 0x01, 0x00})),
              WithMbapLength(expected));
}

// Objects too long for one response: each response carries what fits, says "more follows" and the
// next object id, and the client asks again from there until it has them all.
TEST(DeviceIdentification, StreamContinuesWhereMoreFollowsSays)
{
    ResetDataTables();
    // 2 + 121 + 2 + 121 fills the 246 bytes after the response's fields exactly.
    const std::string texts[] = {std::string(244, 'a'), std::string(121, 'b'), std::string(121, 'c'),
                                 std::string(244, 'd'), std::string(50, 'e'), ""};
    DeviceIdentification identification{};
    for (int id = 0; id < kDeviceIdObjectCount; ++id) {
        SetDeviceIdObject(&identification, id, texts[id].data(), texts[id].size());
    }
    ApplyDeviceIdentification(identification);

    const std::vector<uint8_t> expectedCounts = {1, 2, 1, 2};
    std::vector<uint8_t> counts;
    std::vector<std::string> received;
    uint8_t next = 0;
    do {
        const Bytes response = AnswerRequest(WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x2B, 0x0E, 0x02, next}));
        ASSERT_GE(response.size(), 14u);
        ASSERT_LE(response.size(), kAduCapacity);
        ASSERT_EQ(response[7], 0x2B);
        const bool more = response[11] == 0xFF;
        ASSERT_TRUE(more || response[11] == 0x00);
        next = response[12];
        ASSERT_TRUE(more || next == 0) << "next object id without more follows";
        counts.push_back(response[13]);
        size_t at = 14;
        for (uint8_t i = 0; i < response[13]; ++i) {
            ASSERT_EQ(response[at], received.size());
            const uint8_t length = response[at + 1];
            ASSERT_LE(at + 2 + length, response.size());
            received.emplace_back(response.begin() + at + 2, response.begin() + at + 2 + length);
            at += 2 + length;
        }
        ASSERT_EQ(at, response.size());
        if (!more) {
            break;
        }
        ASSERT_EQ(next, received.size());
    } while (counts.size() < 10);
    EXPECT_EQ(counts, expectedCounts);
    EXPECT_EQ(received, std::vector<std::string>(std::begin(texts), std::end(texts)));
    // The longest value still answers individual access whole.
    EXPECT_EQ(AnswerRequest(WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x2B, 0x0E, 0x04, 0x03})).size(), 14u + 2 + 244);
}

}  // namespace
