#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <modbus.h>

#include "server/server_fixture.h"

namespace {

// The server as a real Modbus/TCP client library sees it.
class LibmodbusClientTest : public ServerTest {
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        context = modbus_new_tcp("127.0.0.1", port);
        ASSERT_NE(context, nullptr);
        modbus_set_response_timeout(context, 5, 0);
        ASSERT_EQ(modbus_connect(context), 0) << modbus_strerror(errno);
    }

    void TearDown() override
    {
        if (context != nullptr) {
            modbus_close(context);
            modbus_free(context);
        }
        ServerTest::TearDown();
    }

    modbus_t* context = nullptr;
};

TEST_F(LibmodbusClientTest, AllEightFunctionCodesRoundTrip)
{
    // 16 then 3: write ten registers, read them back.
    uint16_t written[10] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 5, 6, 7, 8, 9};
    ASSERT_EQ(modbus_write_registers(context, 100, 10, written), 10);
    uint16_t read[10] = {};
    ASSERT_EQ(modbus_read_registers(context, 100, 10, read), 10);
    EXPECT_EQ(0, std::memcmp(read, written, sizeof read));

    // 6, then 22: (0x12F0 AND 0x0F0F) OR (0xA0A0 AND NOT 0x0F0F) = 0x0200 | 0xA0A0 = 0xA2A0.
    ASSERT_EQ(modbus_write_register(context, 200, 0x12F0), 1);
    ASSERT_EQ(modbus_mask_write_register(context, 200, 0x0F0F, 0xA0A0), 1);
    ASSERT_EQ(modbus_read_registers(context, 200, 1, read), 1);
    EXPECT_EQ(read[0], 0xA2A0);

    // 23: reads 299..302, then writes 300..301, in one transaction: the values read are those
    // from before the write.
    uint16_t pair[2] = {0x1111, 0x2222};
    uint16_t around[4] = {9, 9, 9, 9};
    ASSERT_EQ(modbus_write_and_read_registers(context, 300, 2, pair, 299, 4, around), 4);
    EXPECT_EQ(around[1], 0);
    EXPECT_EQ(around[2], 0);
    ASSERT_EQ(modbus_read_registers(context, 299, 4, around), 4);
    EXPECT_EQ(around[0], 0);
    EXPECT_EQ(around[1], 0x1111);
    EXPECT_EQ(around[2], 0x2222);
    EXPECT_EQ(around[3], 0);

    // 15 then 1: nineteen coils across byte boundaries, and 5 for one more.
    uint8_t coils[19];
    for (int index = 0; index < 19; ++index) {
        coils[index] = static_cast<uint8_t>(index % 3 == 0);
    }
    ASSERT_EQ(modbus_write_bits(context, 1000, 19, coils), 19);
    ASSERT_EQ(modbus_write_bit(context, 1019, 1), 1);
    uint8_t back[20] = {};
    ASSERT_EQ(modbus_read_bits(context, 1000, 20, back), 20);
    EXPECT_EQ(0, std::memcmp(back, coils, 19));
    EXPECT_EQ(back[19], 1);

    // The largest reads the server allows.
    uint16_t most[125];
    EXPECT_EQ(modbus_read_registers(context, 65536 - 125, 125, most), 125);
    uint8_t manyCoils[2000];
    EXPECT_EQ(modbus_read_bits(context, 0, 2000, manyCoils), 2000);

    ASSERT_TRUE(WaitForTransactions(0, 12));
    SlotSnapshot slot;
    SnapshotSlot(0, &slot);
    EXPECT_EQ(slot.acceptedRequests, 12u);
    EXPECT_EQ(slot.rejectedRequests, 0u);
}

TEST_F(LibmodbusClientTest, ExceptionResponsesReachTheClient)
{
    SetRegisterWindow(10, 19);
    SetFunctionEnabled(5, false);
    uint16_t values[2] = {};
    EXPECT_EQ(modbus_read_registers(context, 19, 2, values), -1);   // runs past the window's end
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_bit(context, 0, 1), -1);                 // switched off
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(modbus_read_registers(context, 10, 2, values), 2);    // the connection goes on

    // Write single coil with a value other than 0x0000 or 0xFF00 (libmodbus never sends one itself).
    SetFunctionEnabled(5, true);
    uint8_t raw[] = {0x01, 0x05, 0x00, 0x01, 0x12, 0x34};
    ASSERT_GT(modbus_send_raw_request(context, raw, sizeof raw), 0);
    uint8_t response[MODBUS_TCP_MAX_ADU_LENGTH];
    EXPECT_EQ(modbus_receive_confirmation(context, response), 9);
    EXPECT_EQ(response[7], 0x85);
    EXPECT_EQ(response[8], 3);
}

}  // namespace
