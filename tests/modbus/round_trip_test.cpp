// Packing and unpacking of coils, and register encode/decode, checked against a plain reference
// and against each other on random valid requests (fixed seed, bounded count).

#include <gtest/gtest.h>

#include <random>

#include "modbus/adu_test_helpers.h"
#include "modbus/bit_packing.h"
#include "modbus/wire_registers.h"

namespace {

constexpr uint8_t kSentinel = 0xA7;

TEST(PackBits, MatchesReferenceForEveryCountAndStopsAtItsLastByte)
{
    std::mt19937 random(7);
    static uint8_t coils[kMaxReadCoils];
    for (uint16_t count = 1; count <= kMaxReadCoils; ++count) {
        for (uint16_t i = 0; i < count; ++i) {
            // Any non-zero byte is ON, not just 1.
            coils[i] = random() % 2 == 0 ? 0 : static_cast<uint8_t>(1 + random() % 255);
        }
        uint8_t packed[kMaxReadCoils / 8 + 2];
        std::memset(packed, kSentinel, sizeof packed);
        PackBits(coils, packed, count);
        const uint16_t bytes = (count + 7) / 8;
        for (uint16_t i = 0; i < count; ++i) {
            ASSERT_EQ((packed[i / 8] >> (i % 8)) & 1, coils[i] != 0 ? 1 : 0) << count << " " << i;
        }
        ASSERT_EQ(packed[bytes - 1] >> 1 >> ((count - 1) % 8), 0) << "high bits beyond the last coil";
        ASSERT_EQ(packed[bytes], kSentinel) << count;
    }
}

TEST(UnpackBits, EveryByteValueAndStopsAtCount)
{
    for (unsigned value = 0; value < 256; ++value) {
        for (uint16_t count = 1; count <= 8; ++count) {
            const uint8_t packed = static_cast<uint8_t>(value);
            uint8_t coils[9];
            std::memset(coils, kSentinel, sizeof coils);
            UnpackBits(&packed, coils, count);
            for (uint16_t bit = 0; bit < count; ++bit) {
                ASSERT_EQ(coils[bit], (value >> bit) & 1);
            }
            ASSERT_EQ(coils[count], kSentinel);
        }
    }
}

TEST(RoundTrip, PackOfUnpackGivesBackThePackedBits)
{
    std::mt19937 random(11);
    static uint8_t packed[kMaxReadCoils / 8];
    static uint8_t coils[kMaxReadCoils];
    static uint8_t repacked[kMaxReadCoils / 8];
    for (int round = 0; round < 5000; ++round) {
        const uint16_t count = static_cast<uint16_t>(1 + random() % kMaxReadCoils);
        const uint16_t bytes = (count + 7) / 8;
        for (uint16_t i = 0; i < bytes; ++i) {
            packed[i] = static_cast<uint8_t>(random());
        }
        UnpackBits(packed, coils, count);
        PackBits(coils, repacked, count);
        const uint8_t lastMask = static_cast<uint8_t>(0xFF >> ((8 - count % 8) % 8));
        ASSERT_EQ(0, std::memcmp(packed, repacked, bytes - 1u));
        ASSERT_EQ(repacked[bytes - 1], packed[bytes - 1] & lastMask);
    }
}

TEST(RoundTrip, RegistersDecodeThenEncodeGivesBackTheWireBytes)
{
    std::mt19937 random(13);
    uint8_t wire[2 * kMaxReadRegisters];
    uint8_t again[2 * kMaxReadRegisters];
    uint16_t values[kMaxReadRegisters];
    for (int round = 0; round < 5000; ++round) {
        const uint16_t count = static_cast<uint16_t>(1 + random() % kMaxReadRegisters);
        for (uint16_t i = 0; i < 2 * count; ++i) {
            wire[i] = static_cast<uint8_t>(random());
        }
        DecodeWireRegisters(wire, values, count);
        ASSERT_EQ(values[0], (wire[0] << 8) | wire[1]);  // high byte first
        EncodeWireRegisters(values, again, count);
        ASSERT_EQ(0, std::memcmp(wire, again, 2u * count));
    }
}

// Random valid write requests, then the read of the same run: the read response carries exactly
// the bits or values that the write request carried.
TEST(RoundTrip, WrittenByOneRequestReadBackByAnother)
{
    ResetDataTables();
    std::mt19937 random(17);
    for (int round = 0; round < 3000; ++round) {
        const uint16_t address = static_cast<uint16_t>(random() % (65536 - kMaxWriteCoils + 1));
        const uint16_t coilCount = static_cast<uint16_t>(1 + random() % kMaxWriteCoils);
        const uint8_t coilBytes = static_cast<uint8_t>((coilCount + 7) / 8);
        Bytes writeCoils = {0, 1, 0, 0, 0, 0, 1, 0x0F, uint8_t(address >> 8), uint8_t(address),
                            uint8_t(coilCount >> 8), uint8_t(coilCount), coilBytes};
        for (uint8_t i = 0; i < coilBytes; ++i) {
            writeCoils.push_back(static_cast<uint8_t>(random()));
        }
        ExceptionCode code = 0xFF;
        AnswerRequest(WithMbapLength(writeCoils), &code);
        ASSERT_EQ(code, kNoException);
        const Bytes readCoils = AnswerRequest(WithMbapLength({0, 2, 0, 0, 0, 0, 1, 0x01, uint8_t(address >> 8),
                                                              uint8_t(address), uint8_t(coilCount >> 8),
                                                              uint8_t(coilCount)}), &code);
        ASSERT_EQ(code, kNoException);
        ASSERT_EQ(readCoils[8], coilBytes);
        const uint8_t lastMask = static_cast<uint8_t>(0xFF >> ((8 - coilCount % 8) % 8));
        ASSERT_EQ(0, std::memcmp(readCoils.data() + 9, writeCoils.data() + 13, coilBytes - 1u));
        ASSERT_EQ(readCoils[8 + coilBytes], writeCoils[12 + coilBytes] & lastMask);

        const uint16_t registerCount = static_cast<uint16_t>(1 + random() % kMaxWriteRegisters);
        Bytes writeRegisters = {0, 3, 0, 0, 0, 0, 1, 0x10, uint8_t(address >> 8), uint8_t(address), 0,
                                uint8_t(registerCount), uint8_t(2 * registerCount)};
        for (uint16_t i = 0; i < 2 * registerCount; ++i) {
            writeRegisters.push_back(static_cast<uint8_t>(random()));
        }
        AnswerRequest(WithMbapLength(writeRegisters), &code);
        ASSERT_EQ(code, kNoException);
        const Bytes readRegisters = AnswerRequest(WithMbapLength({0, 4, 0, 0, 0, 0, 1, 0x03, uint8_t(address >> 8),
                                                                  uint8_t(address), 0, uint8_t(registerCount)}), &code);
        ASSERT_EQ(code, kNoException);
        ASSERT_EQ(readRegisters.size(), 9u + 2 * registerCount);
        ASSERT_EQ(0, std::memcmp(readRegisters.data() + 9, writeRegisters.data() + 13, 2u * registerCount));
    }
}

}  // namespace
