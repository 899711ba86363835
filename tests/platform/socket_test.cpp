#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/kick_event.h"
#include "platform/socket.h"
#include "platform/winsock_error.h"
#include "platform/loopback_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMilliseconds(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// An IPv4 client of a dual-stack listener shows as plain IPv4, never as ::ffff:127.0.0.1.
TEST(SocketTest, AcceptReportsThePeersAddressAndPortInEitherFamily)
{
    const struct {
        const char* listenAddress;
        const char* clientAddress;
        const char* peerAddress;   // the endpoint text up to the port
        bool ipv6;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", "127.0.0.1:", false},
        {"::1", "::1", "[::1]:", true},
        {"::", "127.0.0.1", "127.0.0.1:", true},
        {"::", "::1", "[::1]:", true},
    };
    const bool ipv6Loopback = HasIpv6Loopback();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.listenAddress) + " from " + c.clientAddress);
        if (c.ipv6 && !ipv6Loopback) {
            std::printf("skipped: this machine has no IPv6 loopback (::1)\n");
            continue;
        }
        LoopbackPair pair;
        pair.Open(c.listenAddress, c.clientAddress);
        uint16_t clientPort = 0;
        ASSERT_EQ(LocalPort(pair.client, &clientPort), 0);
        EXPECT_EQ(pair.peer.port, clientPort);
        char text[kEndpointTextSize];
        FormatEndpoint(pair.peer, text);
        EXPECT_EQ(std::string(text), c.peerAddress + std::to_string(clientPort));
    }
}

TEST(SocketTest, BindToTakenPortGivesAddressInUse)
{
    LoopbackPair pair;
    pair.Open();
    uint16_t port = 0;
    ASSERT_EQ(LocalPort(pair.listener, &port), 0);
    int error = 0;
    SocketHandle second = CreateTcpSocket(&error);
    ASSERT_NE(second, kNoSocket);
    EXPECT_EQ(BindSocket(second, "127.0.0.1", port), 10048);
    EXPECT_EQ(BindSocket(second, "not an address", 0), kWsaEinval);
    EXPECT_EQ(BindSocket(second, "[::1]", 0), kWsaEinval);   // brackets belong to endpoints only
    CloseSocket(second);
}

TEST(SocketTest, ReceiveNowWouldBlockThenDataThenClose)
{
    LoopbackPair pair;
    pair.Open();
    uint8_t buffer[16];
    int error = 0;
    EXPECT_EQ(ReceiveNow(pair.server, buffer, sizeof buffer, &error), -1);
    EXPECT_EQ(error, kWsaEwouldblock);

    const uint8_t data[3] = {1, 2, 3};
    ASSERT_EQ(SendBytes(pair.client, data, 3, &error), 3);
    ASSERT_TRUE(WaitReadable(pair.server, 2000));
    EXPECT_EQ(ReceiveNow(pair.server, buffer, sizeof buffer, &error), 3);

    CloseSocket(pair.client);
    pair.client = kNoSocket;
    ASSERT_TRUE(WaitReadable(pair.server, 2000));
    EXPECT_EQ(ReceiveNow(pair.server, buffer, sizeof buffer, &error), 0);
}

TEST(SocketTest, SendToResetPeerFailsWithoutSignal)
{
    LoopbackPair pair;
    pair.Open();
    CloseSocket(pair.client);
    pair.client = kNoSocket;
    const uint8_t data[64] = {};
    int error = 0;
    int result = 0;
    // The first send may still be taken by the kernel; the peer's reset makes a later one fail.
    for (int attempt = 0; attempt < 50 && result >= 0; ++attempt) {
        result = SendBytes(pair.server, data, sizeof data, &error);
        if (result >= 0) {
            WaitReadable(pair.server, 20);
        }
    }
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(error == 10054 || error == 10058) << error;
}

TEST(SocketTest, SendTimeOutReportsWsaEtimedout)
{
    LoopbackPair pair;
    pair.Open();
    ASSERT_EQ(SetSendTimeout(pair.server, 100), 0);
    uint8_t chunk[65536];
    std::memset(chunk, 0x55, sizeof chunk);
    int error = 0;
    int result = 0;
    Clock::time_point start = Clock::now();
    // The client never reads: the buffers fill and a send then waits its 100 ms out.
    for (int sends = 0; sends < 2000 && result >= 0; ++sends) {
        result = SendBytes(pair.server, chunk, sizeof chunk, &error);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, kWsaEtimedout);
    EXPECT_LT(ElapsedMilliseconds(start), 10000);
}

TEST(SocketTest, ShutdownEndsAnAcceptBlockedOnTheListeningSocket)
{
    int error = 0;
    SocketHandle listener = CreateTcpSocket(&error);
    ASSERT_EQ(BindSocket(listener, "127.0.0.1", 0), 0);
    ASSERT_EQ(ListenOnSocket(listener), 0);
    std::atomic<int> acceptError{0};
    std::thread acceptor([&] {
        SocketAddress peer{};
        int failure = 0;
        SocketHandle accepted = AcceptConnection(listener, &peer, &failure);
        if (accepted != kNoSocket) {
            CloseSocket(accepted);
        }
        acceptError = failure;
    });
    // Give the acceptor a moment to block; the test holds whether it has or not.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Clock::time_point start = Clock::now();
    ASSERT_EQ(ShutdownSocket(listener), 0);
    acceptor.join();
    EXPECT_LT(ElapsedMilliseconds(start), 2000);
    EXPECT_NE(acceptError.load(), 0);
    EXPECT_NE(acceptError.load(), kWsaEconnrefused);   // not mistaken for a transient failure
    CloseSocket(listener);
}

TEST(KickEventTest, CreatedClearSetAndResetByTheFlag)
{
    KickEvent kick;
    EXPECT_FALSE(IsKickSignalled(&kick));
    SetKickEvent(&kick);
    SetKickEvent(&kick);   // manual reset: setting twice needs one reset
    EXPECT_TRUE(IsKickSignalled(&kick));
    ResetKickEvent(&kick);
    EXPECT_FALSE(IsKickSignalled(&kick));
}

TEST(SocketTest, ShutdownReceiveWakesABlockedReceiveAndLasts)
{
    LoopbackPair pair;
    pair.Open();
    int error = 0;
    uint8_t buffer[4];
    // The receiver takes one byte, then blocks until the shutdown; every later receive ends at once.
    const uint8_t byte = 7;
    ASSERT_EQ(SendBytes(pair.client, &byte, 1, &error), 1);
    ASSERT_TRUE(WaitReadable(pair.server, 2000));
    std::atomic<int> blockedResult{-2};
    std::thread receiver([&] {
        uint8_t first[4];
        int firstError = 0;
        if (ReceiveWaiting(pair.server, first, sizeof first, &firstError) != 1) {
            return;
        }
        blockedResult = ReceiveWaiting(pair.server, first, sizeof first, &firstError);
    });
    // Give the receiver a moment to block; the test holds whether it has or not.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Clock::time_point start = Clock::now();
    ASSERT_EQ(ShutdownReceive(pair.server), 0);
    receiver.join();
    EXPECT_LT(ElapsedMilliseconds(start), 2000);
    EXPECT_EQ(blockedResult.load(), 0);
    EXPECT_EQ(ReceiveWaiting(pair.server, buffer, sizeof buffer, &error), 0);
    EXPECT_EQ(ReceiveNow(pair.server, buffer, sizeof buffer, &error), 0);
    // The other direction is untouched.
    ASSERT_EQ(SendBytes(pair.server, &byte, 1, &error), 1);
    ASSERT_TRUE(WaitReadable(pair.client, 2000));
    EXPECT_EQ(ReceiveNow(pair.client, buffer, sizeof buffer, &error), 1);
}

TEST(ClockTest, TickCountAdvancesInMilliseconds)
{
    uint32_t first = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t elapsed = TickCount() - first;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 5000u);
    TimeOfDay now = LocalTimeOfDay();
    EXPECT_TRUE(now.hour >= 0 && now.hour < 24 && now.minute < 60 && now.second < 61 && now.millisecond < 1000);
}

}  // namespace
