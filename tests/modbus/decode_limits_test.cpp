// What DecodeRequest accepts and refuses: the enable test, the code list, every code's limits at
// the boundary and one past, byte counts, and the received length.

#include <gtest/gtest.h>

#include "modbus/adu_test_helpers.h"

namespace {

uint8_t High(unsigned value) { return static_cast<uint8_t>(value >> 8); }
uint8_t Low(unsigned value) { return static_cast<uint8_t>(value); }

// Codes 1 to 6: two 16-bit fields after the code.
Bytes TwoFields(uint8_t code, unsigned first, unsigned second)
{
    return WithMbapLength({0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                           code, High(first), Low(first), High(second), Low(second)});
}

// Code 15: `dataBytes` packed bytes follow the byte count, whatever it says.
Bytes WriteCoilsRequest(unsigned quantity, unsigned byteCount, unsigned dataBytes)
{
    Bytes adu = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                 0x0F, 0x00, 0x00, High(quantity), Low(quantity), Low(byteCount)};
    adu.resize(adu.size() + dataBytes, 0x55);
    return WithMbapLength(adu);
}

// Code 16: `dataBytes` value bytes follow the byte count.
Bytes WriteRegistersRequest(unsigned quantity, unsigned byteCount, unsigned dataBytes)
{
    Bytes adu = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                 0x10, 0x00, 0x00, High(quantity), Low(quantity), Low(byteCount)};
    adu.resize(adu.size() + dataBytes, 0x12);
    return WithMbapLength(adu);
}

// Code 23: read run at 0, write run at 200.
Bytes ReadWriteRequest(unsigned readQuantity, unsigned writeQuantity, unsigned byteCount,
                       unsigned dataBytes)
{
    Bytes adu = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01,
                 0x17, 0x00, 0x00, High(readQuantity), Low(readQuantity),
                 0x00, 0xC8, High(writeQuantity), Low(writeQuantity), Low(byteCount)};
    adu.resize(adu.size() + dataBytes, 0x34);
    return WithMbapLength(adu);
}

// Drops the last `missing` bytes and fixes the MBAP length to match, as a client that sends
// too little would.
Bytes Shortened(Bytes adu, size_t missing)
{
    adu.resize(adu.size() - missing);
    return WithMbapLength(adu);
}

Bytes Lengthened(Bytes adu, size_t extra)
{
    adu.resize(adu.size() + extra, 0xEE);
    return WithMbapLength(adu);
}

struct DecodeCase {
    const char* name;
    Bytes request;
    ExceptionCode expected;
};

void PrintTo(const DecodeCase& testCase, std::ostream* out) { *out << testCase.name; }

const DecodeCase kDecodeCases[] = {
    // The code list: anything but the ten implemented codes is Illegal Function.
    {"Code0", TwoFields(0, 0, 1), kIllegalFunction},
    {"Code7", TwoFields(7, 0, 1), kIllegalFunction},
    {"Code9", TwoFields(9, 0, 1), kIllegalFunction},
    {"Code42", TwoFields(42, 0, 1), kIllegalFunction},
    {"Code0xAB", TwoFields(0xAB, 0x0E01, 0), kIllegalFunction},
    {"Code17", TwoFields(17, 0, 1), kIllegalFunction},
    {"Code127", TwoFields(127, 0, 1), kIllegalFunction},
    {"Code0x83", TwoFields(0x83, 0, 1), kIllegalFunction},
    {"Code255", TwoFields(255, 0, 1), kIllegalFunction},
    // Code 1: 1..2,000 coils.
    {"ReadCoilsQuantity0", TwoFields(1, 0, 0), kIllegalDataValue},
    {"ReadCoilsQuantity1", TwoFields(1, 0, 1), kNoException},
    {"ReadCoilsQuantity2000", TwoFields(1, 0, 2000), kNoException},
    {"ReadCoilsQuantity2001", TwoFields(1, 0, 2001), kIllegalDataValue},
    {"ReadCoilsQuantity65535", TwoFields(1, 0, 65535), kIllegalDataValue},
    // Code 3: 1..125 registers.
    {"ReadRegistersQuantity0", TwoFields(3, 0, 0), kIllegalDataValue},
    {"ReadRegistersQuantity125", TwoFields(3, 0, 125), kNoException},
    {"ReadRegistersQuantity126", TwoFields(3, 0, 126), kIllegalDataValue},
    // Code 2: 1..2,000 discrete inputs, as code 1.
    {"ReadDiscreteInputsQuantity0", TwoFields(2, 0, 0), kIllegalDataValue},
    {"ReadDiscreteInputsQuantity2000", TwoFields(2, 0, 2000), kNoException},
    {"ReadDiscreteInputsQuantity2001", TwoFields(2, 0, 2001), kIllegalDataValue},
    // Code 4: 1..125 input registers, as code 3.
    {"ReadInputRegistersQuantity0", TwoFields(4, 0, 0), kIllegalDataValue},
    {"ReadInputRegistersQuantity125", TwoFields(4, 0, 125), kNoException},
    {"ReadInputRegistersQuantity126", TwoFields(4, 0, 126), kIllegalDataValue},
    // Code 5: only 0xFF00 and 0x0000.
    {"ForceCoilOn", TwoFields(5, 0, 0xFF00), kNoException},
    {"ForceCoilOff", TwoFields(5, 0, 0x0000), kNoException},
    {"ForceCoilValue0001", TwoFields(5, 0, 0x0001), kIllegalDataValue},
    {"ForceCoilValue00FF", TwoFields(5, 0, 0x00FF), kIllegalDataValue},
    {"ForceCoilValueFFFF", TwoFields(5, 0, 0xFFFF), kIllegalDataValue},
    // Code 6: every value.
    {"WriteRegisterValueFFFF", TwoFields(6, 0, 0xFFFF), kNoException},
    // Code 15: byte count first, then 1..800 coils.
    {"WriteCoils10Count2", WriteCoilsRequest(10, 2, 2), kNoException},
    {"WriteCoils10Count1", WriteCoilsRequest(10, 1, 1), kIllegalDataValue},
    {"WriteCoils10Count3", WriteCoilsRequest(10, 3, 3), kIllegalDataValue},
    {"WriteCoils800Count100", WriteCoilsRequest(800, 100, 100), kNoException},
    {"WriteCoils801Count101", WriteCoilsRequest(801, 101, 101), kIllegalDataValue},
    {"WriteCoils0Count0", WriteCoilsRequest(0, 0, 0), kIllegalDataValue},
    // (2040 + 7) / 8 = 255 fits one byte, yet the quantity is over the limit.
    {"WriteCoils2040Count255", WriteCoilsRequest(2040, 255, 200), kIllegalDataValue},
    // (2048 + 7) / 8 = 256 would match a byte count of 0 if it were truncated to one byte.
    {"WriteCoils2048Count0", WriteCoilsRequest(2048, 0, 0), kIllegalDataValue},
    // Code 16: byte count = 2 x quantity, then 1..100 registers.
    {"WriteRegisters2Count4", WriteRegistersRequest(2, 4, 4), kNoException},
    {"WriteRegisters2Count5", WriteRegistersRequest(2, 5, 5), kIllegalDataValue},
    {"WriteRegisters2Count3", WriteRegistersRequest(2, 3, 4), kIllegalDataValue},
    {"WriteRegisters100Count200", WriteRegistersRequest(100, 200, 200), kNoException},
    {"WriteRegisters101Count202", WriteRegistersRequest(101, 202, 202), kIllegalDataValue},
    {"WriteRegisters0Count0", WriteRegistersRequest(0, 0, 0), kIllegalDataValue},
    // 2 x 128 = 256 would match a byte count of 0 if it were truncated to one byte.
    {"WriteRegisters128Count0", WriteRegistersRequest(128, 0, 0), kIllegalDataValue},
    // Code 22: no field tests.
    {"MaskWrite", WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x16, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}),
     kNoException},
    // Code 23: read 1..125, write byte count = 2 x quantity, write 1..100.
    {"ReadWrite125And100", ReadWriteRequest(125, 100, 200, 200), kNoException},
    {"ReadWrite126And1", ReadWriteRequest(126, 1, 2, 2), kIllegalDataValue},
    {"ReadWrite0And1", ReadWriteRequest(0, 1, 2, 2), kIllegalDataValue},
    {"ReadWrite1And101Count202", ReadWriteRequest(1, 101, 202, 202), kIllegalDataValue},
    {"ReadWrite1And0Count0", ReadWriteRequest(1, 0, 0, 0), kIllegalDataValue},
    {"ReadWrite1And2Count5", ReadWriteRequest(1, 2, 5, 5), kIllegalDataValue},
    {"ReadWrite1And128Count0", ReadWriteRequest(1, 128, 0, 0), kIllegalDataValue},
    // The write limits are the server's own unless standard limits are on (see below).
    {"WriteCoils1968Count246", WriteCoilsRequest(1968, 246, 246), kIllegalDataValue},
    {"WriteRegisters123Count246", WriteRegistersRequest(123, 246, 246), kIllegalDataValue},
    {"ReadWrite1And121Count242", ReadWriteRequest(1, 121, 242, 242), kIllegalDataValue},
    // Code 8: only sub-function 0, whose data may be of any length; no sub-function is malformed.
    {"ReturnQueryData", TwoFields(8, 0x0000, 0xA537), kNoException},
    {"ReturnQueryDataNoData", Shortened(TwoFields(8, 0x0000, 0), 2), kNoException},
    {"ReturnQueryDataLongest", Lengthened(TwoFields(8, 0x0000, 0), kAduCapacity - 12), kNoException},
    {"DiagnosticsSubFunction1", TwoFields(8, 0x0001, 0), kIllegalFunction},
    {"DiagnosticsSubFunctionFFFF", TwoFields(8, 0xFFFF, 0), kIllegalFunction},
    {"DiagnosticsHalfSubFunction", Shortened(TwoFields(8, 0x0000, 0), 3), kIllegalDataValue},
    {"DiagnosticsOnlyCode", Shortened(TwoFields(8, 0x0000, 0), 4), kIllegalDataValue},
    // Code 43: MEI type 14 only, read device id codes 1 to 4, three bytes after the code.
    {"DeviceIdBasic", Shortened(TwoFields(43, 0x0E01, 0x0000), 1), kNoException},
    {"DeviceIdIndividual", Shortened(TwoFields(43, 0x0E04, 0x0500), 1), kNoException},
    {"DeviceIdReadCode0", Shortened(TwoFields(43, 0x0E00, 0x0000), 1), kIllegalDataValue},
    {"DeviceIdReadCode5", Shortened(TwoFields(43, 0x0E05, 0x0000), 1), kIllegalDataValue},
    {"DeviceIdMeiType13", Shortened(TwoFields(43, 0x0D01, 0x0000), 1), kIllegalFunction},
    {"DeviceIdNoObjectId", Shortened(TwoFields(43, 0x0E01, 0x0000), 2), kIllegalDataValue},
    {"DeviceIdOnlyMeiType", Shortened(TwoFields(43, 0x0E01, 0x0000), 3), kIllegalDataValue},
    {"DeviceIdLonger", TwoFields(43, 0x0E01, 0x0000), kNoException},
    // Length: one byte short of each code's request is refused, extra bytes are ignored.
    {"ReadCoilsShort", Shortened(TwoFields(1, 0, 1), 1), kIllegalDataValue},
    {"ReadRegistersLength11", Shortened(TwoFields(3, 0, 1), 1), kIllegalDataValue},
    {"ReadDiscreteInputsShort", Shortened(TwoFields(2, 0, 1), 1), kIllegalDataValue},
    {"ReadInputRegistersShort", Shortened(TwoFields(4, 0, 1), 1), kIllegalDataValue},
    {"ReadRegistersLength14", Lengthened(TwoFields(3, 0, 1), 2), kNoException},
    {"ReadRegistersOnlyCode", Shortened(TwoFields(3, 0, 1), 4), kIllegalDataValue},
    {"ForceCoilShort", Shortened(TwoFields(5, 0, 0xFF00), 1), kIllegalDataValue},
    {"WriteRegisterShort", Shortened(TwoFields(6, 0, 1), 1), kIllegalDataValue},
    {"WriteRegisterLonger", Lengthened(TwoFields(6, 0, 1), 100), kNoException},
    {"WriteCoilsShort", WriteCoilsRequest(10, 2, 1), kIllegalDataValue},
    {"WriteCoilsLonger", WriteCoilsRequest(10, 2, 3), kNoException},
    {"WriteRegistersShort", WriteRegistersRequest(100, 200, 199), kIllegalDataValue},
    {"WriteRegistersLonger", WriteRegistersRequest(2, 4, 6), kNoException},
    {"MaskWriteShort", WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x16, 0, 0, 0, 0, 0}), kIllegalDataValue},
    {"ReadWriteShort", ReadWriteRequest(1, 2, 4, 3), kIllegalDataValue},
    {"ReadWriteLonger", ReadWriteRequest(1, 2, 4, 5), kNoException},
    {"LongestAdu", Lengthened(TwoFields(3, 0, 1), kAduCapacity - 12), kNoException},
};

class DecodeCaseTest : public ::testing::TestWithParam<DecodeCase> {
protected:
    void SetUp() override { ResetDataTables(); }
};

TEST_P(DecodeCaseTest, AnswersExpectedExceptionCode)
{
    const DecodeCase& testCase = GetParam();
    ExceptionCode code = 0xFF;
    const Bytes response = AnswerRequest(testCase.request, &code);
    EXPECT_EQ(code, testCase.expected);
    // The response names the request's own code, with bit 7 set only for an exception.
    ASSERT_GE(response.size(), 9u);
    const uint8_t requestCode = testCase.request[7];
    if (testCase.expected == kNoException) {
        EXPECT_EQ(response[7], requestCode);
    } else {
        EXPECT_EQ(response.size(), 9u);
        EXPECT_EQ(response[7], requestCode | 0x80);
        EXPECT_EQ(response[8], testCase.expected);
    }
    // Identifiers stay as received.
    EXPECT_EQ(0, std::memcmp(response.data(), testCase.request.data(), 4));
    EXPECT_EQ(response[6], testCase.request[6]);
}

INSTANTIATE_TEST_SUITE_P(Requests, DecodeCaseTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// With standard limits the write quantities are the Modbus application protocol's own.
const DecodeCase kStandardLimitCases[] = {
    {"WriteCoils1968Count246", WriteCoilsRequest(1968, 246, 246), kNoException},
    {"WriteCoils1969Count247", WriteCoilsRequest(1969, 247, 247), kIllegalDataValue},
    {"WriteRegisters123Count246", WriteRegistersRequest(123, 246, 246), kNoException},
    // One past a limit cannot travel whole in 260 bytes: the request carries what fits.
    {"WriteRegisters124Count248", WriteRegistersRequest(124, 248, 247), kIllegalDataValue},
    {"ReadWrite125And121", ReadWriteRequest(125, 121, 242, 242), kNoException},
    {"ReadWrite1And122Count244", ReadWriteRequest(1, 122, 244, 243), kIllegalDataValue},
    {"ReadWrite126And1", ReadWriteRequest(126, 1, 2, 2), kIllegalDataValue},
    {"WriteCoils1968Short", WriteCoilsRequest(1968, 246, 245), kIllegalDataValue},
};

class StandardLimitCaseTest : public DecodeCaseTest {
protected:
    void SetUp() override
    {
        ResetDataTables();
        SetStandardLimits(true);
    }
    void TearDown() override { SetStandardLimits(false); }
};

TEST_P(StandardLimitCaseTest, AnswersExpectedExceptionCode)
{
    ExceptionCode code = 0xFF;
    AnswerRequest(GetParam().request, &code);
    EXPECT_EQ(code, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Requests, StandardLimitCaseTest, ::testing::ValuesIn(kStandardLimitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeRequest, WriteRegistersFillsRecordInNativeOrder)
{
    ResetDataTables();
    const uint8_t adu[kAduCapacity] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x0B, 0x01,
                                       0x10, 0x00, 0x64, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78};
    static RequestRecord record;
    ASSERT_EQ(DecodeRequest(adu, 17, &record), kNoException);
    EXPECT_EQ(record.functionCode, 16);
    EXPECT_EQ(record.address, 100);
    EXPECT_EQ(record.quantity, 2);
    EXPECT_EQ(record.registers[0], 0x1234);
    EXPECT_EQ(record.registers[1], 0x5678);
}

TEST(DecodeRequest, DisabledCodeWinsOverBadQuantity)
{
    ResetDataTables();
    SetFunctionEnabled(3, false);
    ExceptionCode code = 0;
    EXPECT_EQ(AnswerRequest(TwoFields(3, 0, 126), &code), WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x83, 0x01}));
    EXPECT_EQ(code, kIllegalFunction);
    EXPECT_EQ(AnswerRequest(TwoFields(3, 0, 1), &code)[8], kIllegalFunction);
    SetFunctionEnabled(3, true);
    AnswerRequest(TwoFields(3, 0, 1), &code);
    EXPECT_EQ(code, kNoException);
}

TEST(DecodeRequest, EveryImplementedCodeCanBeDisabled)
{
    for (uint8_t functionCode : {1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43}) {
        ResetDataTables();
        SetFunctionEnabled(functionCode, false);
        ExceptionCode code = 0;
        // Code 43 needs MEI type 14 and read code 1 in its first field to be served at all.
        AnswerRequest(TwoFields(functionCode, functionCode == 43 ? 0x0E01 : 0, 1), &code);
        EXPECT_EQ(code, kIllegalFunction) << "code " << int(functionCode);
    }
}

// A refused request must not reach the tables, whichever test refused it.
TEST(DecodeRequest, RefusedWritesChangeNothing)
{
    ResetDataTables();
    const Bytes refused[] = {
        WriteRegistersRequest(2, 5, 5),       // byte count
        WriteRegistersRequest(101, 202, 202), // quantity
        WriteRegistersRequest(2, 4, 3),       // length
        WriteCoilsRequest(16, 2, 1),          // length
        ReadWriteRequest(126, 1, 2, 2),       // read quantity
        ReadWriteRequest(1, 2, 4, 3),         // length
        Shortened(TwoFields(6, 0, 0x1234), 1),
        Shortened(TwoFields(5, 0, 0xFF00), 1),
        WithMbapLength({0, 1, 0, 0, 0, 0, 1, 0x16, 0, 0, 0, 0, 0xFF}),
    };
    for (const Bytes& request : refused) {
        ExceptionCode code = 0;
        AnswerRequest(request, &code);
        EXPECT_EQ(code, kIllegalDataValue);
    }
    uint16_t registers[300];
    uint8_t coils[32];
    PeekRegisters(0, 300, registers);
    PeekCoils(0, 32, coils);
    for (uint16_t value : registers) ASSERT_EQ(value, 0);
    for (uint8_t value : coils) ASSERT_EQ(value, 0);
}

}  // namespace
