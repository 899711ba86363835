#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "server/served_settings.h"
#include "server/server_counters.h"
#include "server/server_fixture.h"
#include "server/unit_list.h"

namespace {

using FramingTest = ServerTest;

std::vector<uint8_t> HeaderWith(uint16_t protocol, uint16_t length)
{
    return {0x12, 0x34, static_cast<uint8_t>(protocol >> 8), static_cast<uint8_t>(protocol),
            static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 1};
}

TEST_F(FramingTest, RequestSentOneBytePerSegmentIsAnsweredOnce)
{
    uint16_t values[2] = {0xBEEF, 0x0102};
    PokeRegisters(10, 2, values);
    TestClient client;
    Connect(client);
    std::vector<uint8_t> request = ReadRegistersRequest(0x0A0B, 1, 10, 2);
    for (uint8_t byte : request) {
        ASSERT_TRUE(client.Send({byte}));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));   // keep the bytes in separate segments
    }
    std::vector<uint8_t> response = client.ReceiveResponse();
    EXPECT_EQ(response, (std::vector<uint8_t>{0x0A, 0x0B, 0, 0, 0, 7, 1, 3, 4, 0xBE, 0xEF, 0x01, 0x02}));
    EXPECT_TRUE(client.Silent(100));   // and only once
}

TEST_F(FramingTest, TwoRequestsInOneSegmentGetTwoResponsesInOrder)
{
    TestClient client;
    Connect(client);
    // Two whole requests and the first 9 bytes of a third in one segment, the third's rest later.
    std::vector<uint8_t> segment = ReadRegistersRequest(1, 1, 0, 1);
    for (const std::vector<uint8_t>& next : {ReadRegistersRequest(2, 1, 0, 3), ReadRegistersRequest(3, 1, 0, 2)}) {
        segment.insert(segment.end(), next.begin(), next.end());
    }
    std::vector<uint8_t> rest(segment.end() - 3, segment.end());
    segment.resize(segment.size() - 3);
    ASSERT_TRUE(client.Send(segment));
    std::vector<uint8_t> first = client.ReceiveResponse();
    std::vector<uint8_t> next = client.ReceiveResponse();
    ASSERT_EQ(first.size(), 11u);
    ASSERT_EQ(next.size(), 15u);
    EXPECT_EQ(TransactionOf(first), 1);
    EXPECT_EQ(TransactionOf(next), 2);
    EXPECT_TRUE(client.Silent(50));   // the third waits for its last bytes
    ASSERT_TRUE(client.Send(rest));
    std::vector<uint8_t> third = client.ReceiveResponse();
    ASSERT_EQ(third.size(), 13u);
    EXPECT_EQ(TransactionOf(third), 3);
}

TEST_F(FramingTest, LengthFieldOutside2To254ClosesWithoutResponse)
{
    struct Case {
        uint16_t length;
        bool afterAGoodRequest;   // in the same segment: the good one is still answered first
    } cases[] = {{0, false}, {1, false}, {255, true}, {0xFFFF, true}, {1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << (c.afterAGoodRequest ? " after a good request" : ""));
        log.Clear();
        TestClient client;
        Connect(client);
        int socket = client.ServerSocket(log);
        std::vector<uint8_t> segment = c.afterAGoodRequest ? ReadRegistersRequest(0x4321, 1, 0, 1) : std::vector<uint8_t>{};
        std::vector<uint8_t> header = HeaderWith(0, c.length);
        segment.insert(segment.end(), header.begin(), header.end());
        ASSERT_TRUE(client.Send(segment));
        if (c.afterAGoodRequest) {
            EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0x43, 0x21, 0, 0, 0, 5, 1, 3, 2, 0, 0}));
        }
        EXPECT_TRUE(client.ClosedWithoutData());
        std::string line = "The request from client on socket " + std::to_string(socket) + " had invalid Command Length";
        EXPECT_TRUE(log.WaitFor(Closed(socket)));
        EXPECT_EQ(log.Count(line), 1);
    }
}

TEST_F(FramingTest, LengthField2And254AreServedAndTheStreamStaysInStep)
{
    TestClient client;
    Connect(client);
    // Length 2: the function code alone, an 8-byte ADU that the decoder refuses with an exception.
    // The first request of the connection, so that under memcheck (server.memcheck.FramingTest) the
    // fields the decoder reads past its end are bytes no request has written yet.
    std::vector<uint8_t> shortest = {0, 7, 0, 0, 0, 2, 1, 3};
    ASSERT_TRUE(client.Send(shortest));
    std::vector<uint8_t> response = client.ReceiveResponse();
    ASSERT_FALSE(response.empty());
    EXPECT_EQ(TransactionOf(response), 7);
    EXPECT_EQ(LengthFieldOf(response), static_cast<int>(response.size()) - 6);

    // Length 254: a 260-byte ADU (write multiple coils with 247 data bytes, refused as too many).
    std::vector<uint8_t> longest = {0, 8, 0, 0, 0, 254, 1, 15, 0, 0, 0x07, 0xB8, 247};
    longest.resize(260, 0x55);
    ASSERT_TRUE(client.Send(longest));
    response = client.ReceiveResponse();
    ASSERT_FALSE(response.empty());
    EXPECT_EQ(TransactionOf(response), 8);

    // Exactly 260 bytes were taken: the next request is read from its own first byte.
    ASSERT_TRUE(client.Send(ReadRegistersRequest(9, 1, 0, 1)));
    response = client.ReceiveResponse();
    ASSERT_EQ(response.size(), 11u);
    EXPECT_EQ(TransactionOf(response), 9);
}

TEST_F(FramingTest, ProtocolId1ClosesWithoutResponseAndLeavesCountersAlone)
{
    TestClient client;
    Connect(client);
    int socket = client.ServerSocket(log);
    ASSERT_TRUE(client.Send(ReadRegistersRequest(1, 1, 0, 1)));
    ASSERT_FALSE(client.ReceiveResponse().empty());
    ASSERT_TRUE(WaitForTransactions(0, 1));
    SlotSnapshot before;
    SnapshotSlot(0, &before);

    // Protocol id 1 and a bad length: only the protocol id is reported.
    ASSERT_TRUE(client.Send(HeaderWith(1, 0)));
    EXPECT_TRUE(client.ClosedWithoutData());
    ASSERT_TRUE(log.WaitFor(Closed(socket)));
    EXPECT_EQ(log.Count("The request from client on socket " + std::to_string(socket) + " had invalid Protocol ID"), 1);
    EXPECT_EQ(log.Count("The request from client on socket " + std::to_string(socket) + " had invalid Command Length"), 0);
    SlotSnapshot after;
    SnapshotSlot(0, &after);
    EXPECT_EQ(after.clientSocket, kNoSocket);
    EXPECT_EQ(after.acceptedRequests, before.acceptedRequests);
    EXPECT_EQ(after.rejectedRequests, before.rejectedRequests);
    EXPECT_EQ(after.bytesReceived, before.bytesReceived);
    EXPECT_EQ(after.bytesTransmitted, before.bytesTransmitted);
}

TEST_F(FramingTest, HalfAHeaderThenCloseLogsDisconnectThenClose)
{
    TestClient client;
    Connect(client);
    int socket = client.ServerSocket(log);
    ASSERT_TRUE(client.Send({0, 1, 0}));
    client.Close();
    ASSERT_TRUE(log.WaitFor(Closed(socket)));
    std::vector<std::string> messages = log.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "Client on socket " + std::to_string(socket) + " disconnected");
    EXPECT_EQ(messages.back(), Closed(socket));
    SlotSnapshot slot;
    SnapshotSlot(0, &slot);
    EXPECT_EQ(slot.bytesReceived, 0u);
    EXPECT_EQ(slot.acceptedRequests + slot.rejectedRequests, 0u);
}

TEST_F(FramingTest, ExceptionResponseIsNineBytesWithLengthThreeAndKeepsIdentifiers)
{
    SetRegisterWindow(0, 9);
    TestClient client;
    Connect(client);
    for (uint8_t unit : {0, 1, 0xAB, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(unit));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(0xFEDC, unit, 100, 1)));
        std::vector<uint8_t> response = client.ReceiveResponse();
        EXPECT_EQ(response, (std::vector<uint8_t>{0xFE, 0xDC, 0, 0, 0, 3, unit, 0x83, 2}));
        // A normal response keeps them too.
        ASSERT_TRUE(client.Send(ReadRegistersRequest(0x0102, unit, 0, 1)));
        response = client.ReceiveResponse();
        EXPECT_EQ(response, (std::vector<uint8_t>{0x01, 0x02, 0, 0, 0, 5, unit, 3, 2, 0, 0}));
    }
    ASSERT_TRUE(WaitForTransactions(0, 8));
    SlotSnapshot slot;
    SnapshotSlot(0, &slot);
    EXPECT_EQ(slot.acceptedRequests, 4u);
    EXPECT_EQ(slot.rejectedRequests, 4u);   // an exception is a transaction, not a failure
    EXPECT_EQ(slot.bytesReceived, 8u * 12u);
    EXPECT_EQ(slot.bytesTransmitted, 4u * 9u + 4u * 11u);
    ASSERT_EQ(slot.lastResponseLength, 11);
    EXPECT_EQ(slot.lastResponse[6], 0xFF);
    ASSERT_EQ(slot.lastRequestLength, 12);
    EXPECT_EQ(slot.lastRequest[0], 0x01);
}

// Only the listed units are answered. Another gets nothing (the client's receive times out and the
// connection goes on in step) or exception 11, as set; either way it counts as a rejected request,
// and each connection logs only the first one.
TEST_F(FramingTest, UnservedUnitGetsNoResponseOrException11AndIsLoggedOncePerConnection)
{
    ServedSettings settings = ReadServedSettings();
    std::string problem;
    ASSERT_TRUE(ParseUnitList("1,10-20", settings.unitUnserved, &problem)) << problem;
    const struct {
        uint8_t unit;
        bool served;
    } requests[] = {{1, true}, {0, false}, {10, true}, {9, false}, {20, true}, {21, false}, {255, false}, {0, false}};
    const uint64_t countedBefore = ReadServerCounters().unservedUnitRequests;
    TestClient clients[2];   // both stay open, so the second connection has slot 1
    const UnknownUnitAnswer answers[] = {UnknownUnitAnswer::kNone, UnknownUnitAnswer::kException};
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(UnknownUnitAnswerName(answers[pass]));
        settings.unknownUnit = answers[pass];
        ApplyServedSettings(settings);
        TestClient& client = clients[pass];
        Connect(client);
        const int socket = client.ServerSocket(log);
        for (const auto& request : requests) {
            SCOPED_TRACE(static_cast<int>(request.unit));
            ASSERT_TRUE(client.Send(ReadRegistersRequest(0x1234, request.unit, 0, 1)));
            if (request.served) {
                EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0x12, 0x34, 0, 0, 0, 5, request.unit, 3, 2, 0, 0}));
            } else if (answers[pass] == UnknownUnitAnswer::kNone) {
                EXPECT_TRUE(client.Silent(150));
            } else {
                EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0x12, 0x34, 0, 0, 0, 3, request.unit, 0x83, 0x0B}));
            }
        }
        ASSERT_TRUE(WaitForTransactions(pass, 8));
        SlotSnapshot slot;
        SnapshotSlot(pass, &slot);
        EXPECT_EQ(slot.acceptedRequests, 3u);
        EXPECT_EQ(slot.rejectedRequests, 5u);
        EXPECT_EQ(slot.bytesTransmitted, 3u * 11u + (pass == 0 ? 0u : 5u * 9u));
        int logged = 0;
        for (const std::string& message : log.Messages()) {
            if (message.rfind("Client on socket " + std::to_string(socket) + " addressed unit", 0) == 0) {
                EXPECT_EQ(message, "Client on socket " + std::to_string(socket) + " addressed unit 0, which is not served");
                ++logged;
            }
        }
        EXPECT_EQ(logged, 1);
    }
    EXPECT_EQ(ReadServerCounters().unservedUnitRequests - countedBefore, 10u);
}

}  // namespace
