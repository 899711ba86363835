#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <cstring>
#include <string>
#include <thread>

#include "log/capturing_log_target.h"
#include "platform/counting_semaphore.h"
#include "platform/loopback_pair.h"
#include "server/slot_table.h"
#include "support/sync_counts.h"

namespace {

SocketAddress Ipv4Peer(uint32_t address, uint16_t port)
{
    SocketAddress peer{AddressFamily::kIpv4, {}, port};
    for (int index = 0; index < 4; ++index) {
        peer.bytes[index] = static_cast<uint8_t>(address >> (24 - 8 * index));
    }
    return peer;
}

SocketAddress Ipv6Peer(std::initializer_list<uint8_t> bytes, uint16_t port)
{
    SocketAddress peer{AddressFamily::kIpv6, {}, port};
    std::copy(bytes.begin(), bytes.end(), peer.bytes);
    return peer;
}

TEST(ChooseSlotToEvictTest, PicksTheLongestIdleTiesToTheLowerSlot)
{
    struct Case {
        const char* name;
        uint32_t ticks[kSlotCount];
        uint32_t now;
        int expected;
    } cases[] = {
        {"oldest in the middle", {500, 100, 300, 400}, 1000, 1},
        {"oldest last", {500, 400, 300, 200}, 1000, 3},
        {"all equal: slot 0", {700, 700, 700, 700}, 1000, 0},
        {"tie between 1 and 3", {800, 200, 900, 200}, 1000, 1},
        {"tie between 2 and 3", {800, 900, 100, 100}, 1000, 2},
        {"just bound (idle 0) never beats an idle one", {1000, 999, 1000, 1000}, 1000, 1},
        // The counter wrapped between the oldest and the newest activity: raw comparison would pick
        // slot 1 (tick 5), the most recently active; idle times pick slot 0.
        {"wrap: idlest before the wrap", {0xFFFFFF00u, 5, 0xFFFFFFF0u, 1}, 10, 0},
        {"wrap: tie across the wrap", {0xFFFFFFFEu, 0xFFFFFFFEu, 3, 4}, 6, 0},
        {"wrap: now itself wrapped to 0", {0xFFFFFFFFu, 0xFFFFFF00u, 0, 0xFFFFFFFEu}, 0, 1},
        {"full range idle", {1, 2, 3, 0}, 0xFFFFFFFFu, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseSlotToEvict(c.ticks, c.now), c.expected) << c.name;
    }
}

class SlotTableTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetLogTarget(&log);
        InitSlotTable();
    }
    void TearDown() override
    {
        DestroySlotTable();
        SetLogTarget(nullptr);
    }
    CapturingLogTarget log;
};

TEST_F(SlotTableTest, StoppedStateIsAllFreeAllKickedNoCount)
{
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 0);
    for (int slotNumber = 0; slotNumber < kSlotCount; ++slotNumber) {
        SlotSnapshot snapshot;
        SnapshotSlot(slotNumber, &snapshot);
        EXPECT_EQ(snapshot.clientSocket, kNoSocket);
        EXPECT_TRUE(IsKickSignalled(&SlotTable[slotNumber].kickEvent));
    }
}

TEST_F(SlotTableTest, ArmGivesFourCountsDisarmTakesThemBack)
{
    ArmSlots();
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 4);
    for (ConnectionSlot& slot : SlotTable) {
        EXPECT_FALSE(IsKickSignalled(&slot.kickEvent));
    }
    DisarmSlots();
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 0);
    for (ConnectionSlot& slot : SlotTable) {
        EXPECT_TRUE(IsKickSignalled(&slot.kickEvent));
    }
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(SlotTableTest, AcquireBindsFirstFreeSlotAndRecordPublishesTransaction)
{
    ArmSlots();
    LoopbackPair pair;
    pair.Open();
    ConnectionSlot* slot = AcquireSlot(pair.server, Ipv4Peer(0xC0A80A01u, 50123));
    SocketHandle socket = pair.server;
    pair.server = kNoSocket;   // the slot owns it now
    ASSERT_EQ(slot, &SlotTable[0]);
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 3);
    EXPECT_EQ(log.Messages().back(), "Connection accepted on socket " + std::to_string(socket) + " from 192.168.10.1:50123");

    SlotSnapshot fresh;
    SnapshotSlot(0, &fresh);
    EXPECT_EQ(fresh.clientSocket, socket);
    EXPECT_EQ(fresh.lastActivityTick, fresh.connectTick);
    EXPECT_EQ(fresh.lastRequestLength, 0);
    EXPECT_EQ(fresh.bytesReceived, 0u);

    const uint8_t request[12] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    const uint8_t response[11] = {0, 1, 0, 0, 0, 5, 1, 3, 2, 0, 0};
    const uint8_t exception[9] = {0, 2, 0, 0, 0, 3, 1, 0x83, 2};
    StoreRequest(slot, request, sizeof request);
    StoreResponse(slot, response, sizeof response);
    RecordTransaction(slot, kNoException);
    StoreRequest(slot, request, sizeof request);
    StoreResponse(slot, exception, sizeof exception);
    RecordTransaction(slot, kIllegalDataAddress);

    SlotSnapshot after;
    SnapshotSlot(0, &after);
    EXPECT_EQ(after.acceptedRequests, 1u);
    EXPECT_EQ(after.rejectedRequests, 1u);
    EXPECT_EQ(after.bytesReceived, 24u);
    EXPECT_EQ(after.bytesTransmitted, 20u);
    ASSERT_EQ(after.lastResponseLength, 9);
    EXPECT_EQ(0, std::memcmp(after.lastResponse, exception, 9));
    ASSERT_EQ(after.lastRequestLength, 12);
    EXPECT_EQ(0, std::memcmp(after.lastRequest, request, 12));

    log.Clear();
    ReleaseSlot(slot);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Socket " + std::to_string(socket) + " closed"});
    SlotSnapshot freed;
    SnapshotSlot(0, &freed);
    EXPECT_EQ(freed.clientSocket, kNoSocket);
    EXPECT_EQ(freed.acceptedRequests, 1u);   // what the connection left stays until the next bind
    DisarmSlots();
}

// The peer text as the log, the console and the control interface show it, the longest of each
// family included: a cut text would show a wrong port.
TEST_F(SlotTableTest, PeerTextOfEitherFamilyIsWholeInTheSlotAndTheLog)
{
    const uint8_t all = 0xFF;
    const struct {
        SocketAddress peer;
        const char* text;
    } cases[] = {
        {Ipv4Peer(0xFFFFFFFFu, 65535), "255.255.255.255:65535"},
        {Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 40112), "[::1]:40112"},
        {Ipv6Peer({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x01}, 502), "[2001:db8::1001]:502"},
        {Ipv6Peer({all, all, all, all, all, all, all, all, all, all, all, all, all, all, all, all}, 65535),
         "[ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff]:65535"},
    };
    ArmSlots();
    for (const auto& c : cases) {
        LoopbackPair pair;
        pair.Open();
        ConnectionSlot* slot = AcquireSlot(pair.server, c.peer);
        const SocketHandle socket = pair.server;
        pair.server = kNoSocket;
        EXPECT_EQ(log.Messages().back(), "Connection accepted on socket " + std::to_string(socket) + " from " + c.text);
        SlotSnapshot snapshot;
        SnapshotSlot(SlotNumber(slot), &snapshot);
        EXPECT_STREQ(snapshot.peerText, c.text);
        ReleaseSlot(slot);
    }
    DisarmSlots();
}

// Stands in for a client thread: ends the connection once its slot is kicked.
void ReleaseWhenKicked(ConnectionSlot* slot)
{
    while (!IsKickSignalled(&slot->kickEvent)) {
        std::this_thread::yield();
    }
    ReleaseSlot(slot);
}

TEST_F(SlotTableTest, FifthConnectionEvictsTheIdlestTiesToLowerSlot)
{
    ArmSlots();
    LoopbackPair pairs[5];
    ConnectionSlot* bound[4];
    for (int index = 0; index < 4; ++index) {
        pairs[index].Open();
        bound[index] = AcquireSlot(pairs[index].server, Ipv4Peer(0x7F000001u, 1));
        pairs[index].server = kNoSocket;
        EXPECT_EQ(bound[index], &SlotTable[index]);
    }
    // Slots 1 and 3 share the oldest activity; slot 1, the lower, must go.
    {
        std::lock_guard<std::recursive_mutex> hold(SlotTable[0].lock);
        SlotTable[0].lastActivityTick -= 10;
    }
    for (int index : {1, 3}) {
        std::lock_guard<std::recursive_mutex> hold(SlotTable[index].lock);
        SlotTable[index].lastActivityTick = SlotTable[0].lastActivityTick - 50;
    }
    std::thread clients[4];
    for (int index = 0; index < 4; ++index) {
        clients[index] = std::thread(ReleaseWhenKicked, bound[index]);
    }
    pairs[4].Open();
    ConnectionSlot* fifth = AcquireSlot(pairs[4].server, Ipv4Peer(0x7F000001u, 5));
    pairs[4].server = kNoSocket;
    EXPECT_EQ(fifth, &SlotTable[1]);
    EXPECT_FALSE(IsKickSignalled(&SlotTable[0].kickEvent));
    EXPECT_FALSE(IsKickSignalled(&SlotTable[3].kickEvent));
    EXPECT_FALSE(IsKickSignalled(&SlotTable[1].kickEvent));   // reset when bound again

    std::thread fifthClient(ReleaseWhenKicked, fifth);
    DisarmSlots();
    for (std::thread& client : clients) {
        client.join();
    }
    fifthClient.join();
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 0);
}

}  // namespace
