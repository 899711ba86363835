#include <gtest/gtest.h>

#include "platform/win32/winsock_startup.h"
#include "platform/winsock_error.h"

namespace {

// The WinSock numbers themselves come straight from the system; only these readings are the
// backend's own.
TEST(AcceptErrorFromWinSockTest, PendingConnectionFailuresAreRetriedOthersEndTheRun)
{
    struct Case {
        int number;
        int expected;
    } cases[] = {
        // The connection went away or the network refused it while it waited: accept again.
        // Wine reports a pending connection that the peer reset as 10057, Windows as 10054
        // (ServerControlTest.ResetPendingConnectionsDoNotEndTheRun meets it under Wine).
        {10054, 10061}, {10057, 10061}, {10053, 10061}, {10050, 10061}, {10065, 10061}, {10051, 10061},
        // A cancelled or interrupted accept is the stop's, not a transient failure.
        {10004, 10004}, {995, 995}, {10035, 10035},
        // The listening socket or the process is in trouble: the run ends.
        {10024, 10024}, {10055, 10055}, {10038, 10038}, {10093, 10093},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AcceptErrorFromWinSock(c.number), c.expected) << c.number;
    }
}

TEST(ReceiveEndTest, OnlyAShutDownOrCancelledReceiveEndsQuietly)
{
    for (int number : {10058, 995, 10101}) {
        EXPECT_TRUE(IsReceiveEnd(number)) << number;
    }
    for (int number : {10054, 10053, 10060, 10035, 10004, 0}) {
        EXPECT_FALSE(IsReceiveEnd(number)) << number;
    }
}

TEST(WinSockStartupTest, StartedOnceWithVersionTwoTwo)
{
    EXPECT_EQ(EnsureWinSock(), 0);
    EXPECT_EQ(EnsureWinSock(), 0);
}

}  // namespace
