#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "server/server_fixture.h"
#include "server/transaction_trace.h"
#include "support/sync_counts.h"

namespace {

using Clock = std::chrono::steady_clock;
using ServerControlTest = ServerTest;

long MillisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Lets at least `milliseconds` of tick count pass, so that later activity has a later tick.
void LetTicksPass(uint32_t milliseconds)
{
    uint32_t start = TickCount();
    while (TickCount() - start < milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST_F(ServerControlTest, StartWhileRunningAndStopWhileStoppedLogNothing)
{
    log.Clear();
    StartServer();
    EXPECT_TRUE(IsServerRunning());
    EXPECT_EQ(ListeningPort(), port);
    ASSERT_TRUE(StopAndWait());
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Modbus Server stopped"});
    log.Clear();
    StopServer();
    EXPECT_FALSE(IsServerRunning());
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(ServerControlTest, StopWithThreeClientsClosesEachBeforeTheStopLine)
{
    TestClient clients[3];
    std::vector<std::string> expected;
    for (TestClient& client : clients) {
        Connect(client);
        expected.push_back(Closed(client.ServerSocket(log)));
    }
    ASSERT_TRUE(clients[1].Send(ReadRegistersRequest(1, 1, 0, 1)));
    ASSERT_FALSE(clients[1].ReceiveResponse().empty());
    log.Clear();
    StopServer();
    WaitServerStopped();
    std::vector<std::string> messages = log.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages.back(), "Modbus Server stopped");
    for (const std::string& line : expected) {
        EXPECT_EQ(std::count(messages.begin(), messages.end() - 1, line), 1) << line;
    }
    for (TestClient& client : clients) {
        EXPECT_TRUE(client.ClosedWithoutData());
    }
    // All free again, the counts taken back, every kick left signalled.
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 0);
    for (int slotNumber = 0; slotNumber < kSlotCount; ++slotNumber) {
        SlotSnapshot snapshot;
        SnapshotSlot(slotNumber, &snapshot);
        EXPECT_EQ(snapshot.clientSocket, kNoSocket);
        EXPECT_TRUE(IsKickSignalled(&SlotTable[slotNumber].kickEvent));
    }
    EXPECT_FALSE(HasAbnormalEnd());
}

// The fixture asks for port 0: the port the system chose at the first start is kept for the next.
TEST_F(ServerControlTest, RestartOnTheSamePortRightAfterAStop)
{
    TestClient client;
    Connect(client);
    ASSERT_TRUE(client.Send(ReadRegistersRequest(1, 1, 0, 1)));
    ASSERT_FALSE(client.ReceiveResponse().empty());
    ASSERT_TRUE(StopAndWait());   // the server closed first, so its side lingers in TIME_WAIT
    uint16_t oldPort = port;
    log.Clear();
    Start();
    EXPECT_EQ(port, oldPort);

    TestClient again;
    Connect(again);
    ASSERT_TRUE(again.Send(ReadRegistersRequest(2, 1, 0, 1)));
    EXPECT_EQ(TransactionOf(again.ReceiveResponse()), 2);
    ASSERT_TRUE(WaitForTransactions(0, 1));
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 3);   // armed again: four counts, one taken
    SlotSnapshot slot;
    SnapshotSlot(0, &slot);
    EXPECT_EQ(slot.acceptedRequests, 1u);   // counters start over when the slot is bound again
}

TEST_F(ServerControlTest, StopWhileARequestIsHalfReceivedEndsAtOnceLoggingOnlyTheClose)
{
    // Cut after the header and inside the PDU: the thread blocks in the receive of the rest.
    std::vector<uint8_t> request = ReadRegistersRequest(1, 1, 0, 1);
    for (size_t sentBytes : {size_t{7}, size_t{9}}) {
        SCOPED_TRACE(sentBytes);
        TestClient client;
        Connect(client);
        std::string closed = Closed(client.ServerSocket(log));
        ASSERT_TRUE(client.Send(std::vector<uint8_t>(request.begin(), request.begin() + sentBytes)));
        // Give the thread a moment to block there; the test holds whether it has or not.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log.Clear();
        Clock::time_point stopAt = Clock::now();
        StopServer();
        ASSERT_TRUE(WaitServerStoppedFor(3000));
        EXPECT_LT(MillisecondsSince(stopAt), 3000);
        EXPECT_EQ(log.Messages(), (std::vector<std::string>{closed, "Modbus Server stopped"}));
        EXPECT_TRUE(client.ClosedWithoutData());
        ASSERT_NO_FATAL_FAILURE(Start());
    }
    EXPECT_FALSE(HasAbnormalEnd());
}

TEST_F(ServerControlTest, FifthConnectionEvictsTheIdlestAndTakesItsSlot)
{
    TestClient clients[4];
    int sockets[4];
    for (int index = 0; index < 4; ++index) {
        Connect(clients[index]);
        sockets[index] = clients[index].ServerSocket(log);
    }
    LetTicksPass(3);
    // Activity on all but client 2, which stays idle since it connected.
    for (int index : {0, 1, 3}) {
        ASSERT_TRUE(clients[index].Send(ReadRegistersRequest(static_cast<uint16_t>(index), 1, 0, 1)));
        ASSERT_FALSE(clients[index].ReceiveResponse().empty());
        ASSERT_TRUE(WaitForTransactions(index, 1));
    }
    TestClient fifth;
    ASSERT_TRUE(fifth.Connect(port));
    int fifthSocket = fifth.ServerSocket(log);
    ASSERT_GE(fifthSocket, 0);
    EXPECT_TRUE(clients[2].ClosedWithoutData());
    ASSERT_TRUE(fifth.Send(ReadRegistersRequest(5, 1, 0, 1)));
    EXPECT_EQ(TransactionOf(fifth.ReceiveResponse()), 5);
    SlotSnapshot slot;
    SnapshotSlot(2, &slot);
    EXPECT_EQ(slot.clientSocket, fifthSocket);

    // The kicked connection logged only its close.
    std::string kicked = std::to_string(sockets[2]);
    int linesAboutKicked = 0;
    for (const std::string& message : log.Messages()) {
        if (message.find("socket " + kicked + " ") != std::string::npos ||
            message.find("Socket " + kicked + " ") != std::string::npos) {
            ++linesAboutKicked;
        }
    }
    EXPECT_EQ(log.Count(Closed(sockets[2])), 1);
    EXPECT_EQ(linesAboutKicked, 2);   // its accept line and its close line; the fifth may reuse the number
    for (int index : {0, 1, 3}) {
        ASSERT_TRUE(clients[index].Send(ReadRegistersRequest(9, 1, 0, 1)));
        EXPECT_EQ(TransactionOf(clients[index].ReceiveResponse()), 9);
    }
}

// Sends requests back to back and drains the responses, until the server closes or the test ends.
class PipeliningClient {
public:
    void Run(uint16_t port)
    {
        ASSERT_TRUE(client_.Connect(port));
        sender_ = std::thread([this] {
            std::vector<uint8_t> burst;
            for (int request = 0; request < 64; ++request) {
                std::vector<uint8_t> one = ReadRegistersRequest(static_cast<uint16_t>(request), 1, 0, 2);
                burst.insert(burst.end(), one.begin(), one.end());
            }
            while (!done_ && client_.Send(burst)) {
            }
        });
        reader_ = std::thread([this] {
            uint8_t buffer[4096];
            while (!done_ && WaitReadable(client_.Socket(), 100000)) {
                int error = 0;
                int received = ReceiveNow(client_.Socket(), buffer, sizeof buffer, &error);
                if (received == 0 || (received < 0 && error != 10035)) {
                    break;
                }
                responsesBytes_ += received > 0 ? received : 0;
            }
            closedByServer_ = true;
        });
    }

    void Finish()
    {
        done_ = true;
        ShutdownSocket(client_.Socket());
        if (sender_.joinable()) {
            sender_.join();
        }
        if (reader_.joinable()) {
            reader_.join();
        }
    }

    long ResponseBytes() const { return responsesBytes_; }
    bool ClosedByServer() const { return closedByServer_; }
    ~PipeliningClient() { Finish(); }

private:
    TestClient client_;
    std::thread sender_;
    std::thread reader_;
    std::atomic<bool> done_{false};
    std::atomic<bool> closedByServer_{false};
    std::atomic<long> responsesBytes_{0};
};

TEST_F(ServerControlTest, PipeliningClientCannotHoldUpAStop)
{
    PipeliningClient busy;
    busy.Run(port);
    // Wait (bounded) until the stream is flowing.
    Clock::time_point start = Clock::now();
    while (busy.ResponseBytes() < 100000 && MillisecondsSince(start) < 10000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(busy.ResponseBytes(), 100000);
    Clock::time_point stopAt = Clock::now();
    StopServer();
    EXPECT_TRUE(WaitServerStoppedFor(3000));
    EXPECT_LT(MillisecondsSince(stopAt), 3000);
    busy.Finish();
    EXPECT_FALSE(HasAbnormalEnd());
}

TEST_F(ServerControlTest, PipeliningClientsCannotHoldUpAnEviction)
{
    std::unique_ptr<PipeliningClient> busy[4];
    for (auto& client : busy) {
        client = std::make_unique<PipeliningClient>();
        client->Run(port);
    }
    Clock::time_point start = Clock::now();
    for (auto& client : busy) {
        while (client->ResponseBytes() < 20000 && MillisecondsSince(start) < 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_GE(client->ResponseBytes(), 20000);
    }
    TestClient fifth;
    ASSERT_TRUE(fifth.Connect(port));
    EXPECT_GE(fifth.ServerSocket(log, 3000), 0);
    ASSERT_TRUE(fifth.Send(ReadRegistersRequest(5, 1, 0, 1)));
    EXPECT_EQ(TransactionOf(fifth.ReceiveResponse(3000)), 5);
}

TEST_F(ServerControlTest, ClientThatNeverReadsDelaysAStopOnlyBySendBound)
{
    TestClient client;
    // A small receive window from the start, so the server's sends back up quickly and then stall.
    Connect(client, 2048);
    SetSendTimeout(client.Socket(), 300);
    int socket = client.ServerSocket(log);

    // Requests for 125 registers (259-byte responses) until the server stops taking them: when our
    // own send makes no progress for 300 ms, the server has stopped reading, blocked in its send.
    std::vector<uint8_t> burst;
    for (int request = 0; request < 16; ++request) {
        std::vector<uint8_t> one = ReadRegistersRequest(static_cast<uint16_t>(request), 1, 0, 125);
        burst.insert(burst.end(), one.begin(), one.end());
    }
    Clock::time_point start = Clock::now();
    bool serverStuck = false;
    while (!serverStuck && MillisecondsSince(start) < 20000) {
        int error = 0;
        if (SendBytes(client.Socket(), burst.data(), static_cast<int>(burst.size()), &error) < 0) {
            ASSERT_EQ(error, 10060);
            serverStuck = true;
        }
    }
    ASSERT_TRUE(serverStuck);

    Clock::time_point stopAt = Clock::now();
    StopServer();
    ASSERT_TRUE(WaitServerStoppedFor(kSendTimeoutMilliseconds + 1000));
    EXPECT_LE(MillisecondsSince(stopAt), kSendTimeoutMilliseconds + 1000);
    // Ended by the send's time-out (nothing sent in time, or only part of the response).
    bool timedOut = log.Count("ERROR: send() : WSAETIMEDOUT: Connection timed out") == 1;
    bool partial = log.Count("ERROR: Failed to send complete response to client.") == 1;
    EXPECT_TRUE(timedOut || partial);
    EXPECT_GE(MillisecondsSince(stopAt), 1000);   // the stop really did wait on the blocked send
    EXPECT_EQ(log.Count(Closed(socket)), 1);
    EXPECT_FALSE(HasAbnormalEnd());
}

TEST_F(ServerControlTest, ResetPendingConnectionsDoNotEndTheRun)
{
    // With every slot busy, new connections wait in the backlog while the listener evicts; reset them there.
    TestClient holders[4];
    for (TestClient& holder : holders) {
        Connect(holder);
    }
    log.Clear();
    for (int round = 0; round < 20; ++round) {
        int error = 0;
        SocketHandle reset = ConnectTcp("127.0.0.1", port, &error);
        ASSERT_NE(reset, kNoSocket);
        SetAbortiveClose(reset);
        CloseSocket(reset);
    }
    TestClient served;
    ASSERT_TRUE(served.Connect(port));
    ASSERT_TRUE(served.Send(ReadRegistersRequest(3, 1, 0, 1)));
    EXPECT_EQ(TransactionOf(served.ReceiveResponse()), 3);
    EXPECT_TRUE(IsServerRunning());
    EXPECT_FALSE(HasAbnormalEnd());
}

TEST_F(ServerControlTest, ManyShortConnectionsLeaveEverySlotFree)
{
    for (int round = 0; round < 40; ++round) {
        TestClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(static_cast<uint16_t>(round), 1, 0, 1)));
        ASSERT_EQ(TransactionOf(client.ReceiveResponse()), round);
    }
    ASSERT_TRUE(StopAndWait());
    EXPECT_EQ(SemaphoreCount(&FreeSlotSemaphore), 0);
    EXPECT_FALSE(HasAbnormalEnd());
}

class ServerStartTest : public ServerTest {
protected:
    void SetUp() override
    {
        startInSetUp = false;
        ServerTest::SetUp();
    }
};

TEST_F(ServerStartTest, PortAlreadyTakenLogsBindErrorAndStaysStopped)
{
    int error = 0;
    SocketHandle holder = CreateTcpSocket(&error);
    ASSERT_EQ(BindSocket(holder, "127.0.0.1", 0), 0);
    ASSERT_EQ(ListenOnSocket(holder), 0);
    uint16_t taken = 0;
    ASSERT_EQ(LocalPort(holder, &taken), 0);
    DestroyServerControl();
    InitServerControl("127.0.0.1", taken);
    StartServer();
    EXPECT_FALSE(IsServerRunning());
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"ERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use"});
    CloseSocket(holder);
    // It can be started again once the port is free.
    log.Clear();
    Start();
}

TEST_F(ServerStartTest, StopRightAfterStartIsNotLost)
{
    for (int round = 0; round < 20; ++round) {
        StartServer();
        StartServer();   // a second start while the first is under way
        StopServer();
        ASSERT_TRUE(WaitServerStoppedFor(5000));
    }
    DestroyServerControl();   // every listener has returned
    EXPECT_EQ(log.Count("Modbus Server stopped"), 20);
    EXPECT_FALSE(HasAbnormalEnd());
}

// Holds the client thread in the trace of each transaction until slot 0 has been kicked.
void WaitUntilSlot0IsKicked(const TransactionView&)
{
    for (int waited = 0; waited < 5000 && !IsKickSignalled(&SlotTable[0].kickEvent); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class HeldTransactionTest : public ServerStartTest {
protected:
    void SetUp() override
    {
        ServerStartTest::SetUp();
        AddTransactionObserver(WaitUntilSlot0IsKicked);   // before the start: client threads read it unguarded
        Start();
    }
    void TearDown() override
    {
        ServerStartTest::TearDown();
        ClearTransactionObservers();
    }
};

TEST_F(HeldTransactionTest, StopEndsAConnectionBeforeTheRequestsWaitingInItsBuffer)
{
    TestClient client;
    Connect(client);
    // Forty requests in one segment, taken by one receive: the first is answered and held, and the
    // stop comes while the other thirty-nine wait in the server's receive buffer.
    std::vector<uint8_t> burst;
    for (uint16_t transaction = 0; transaction < 40; ++transaction) {
        std::vector<uint8_t> one = ReadRegistersRequest(transaction, 1, 0, 1);
        burst.insert(burst.end(), one.begin(), one.end());
    }
    ASSERT_TRUE(client.Send(burst));
    std::vector<uint8_t> first = client.ReceiveResponse();
    ASSERT_EQ(first.size(), 11u);
    EXPECT_EQ(TransactionOf(first), 0);
    StopServer();
    EXPECT_TRUE(WaitServerStoppedFor(5000));
    EXPECT_TRUE(client.ClosedWithoutData());   // none of the thirty-nine is answered
    EXPECT_FALSE(HasAbnormalEnd());
}

}  // namespace
