#include <gtest/gtest.h>

#include <string>

#include "log/capturing_log_target.h"
#include "log/event_log.h"
#include "log/winsock_error_text.h"
#include "support/system_error_samples.h"

namespace {

class EventLogTest : public testing::Test {
protected:
    void SetUp() override { SetLogTarget(&target); }
    void TearDown() override { SetLogTarget(nullptr); }
    CapturingLogTarget target;
};

TEST(WinSockErrorTextTest, HasExactlyTheFiftyOneEntries)
{
    EXPECT_EQ(WinSockErrorTextCount(), 51);
    int withText = 0;
    for (int number = 0; number < 12000; ++number) {
        withText += WinSockErrorText(number)[0] != '\0' ? 1 : 0;
    }
    EXPECT_EQ(withText, 51);
}

TEST(WinSockErrorTextTest, SpotChecksAcrossTheTable)
{
    struct Case {
        int number;
        const char* text;
    } cases[] = {
        {10004, "WSAEINTR: Interrupted function call"},   // first entry
        {10013, "WSAEACCES: Permission denied"},
        {10035, "WSAEWOULDBLOCK: Resource temporarily unavailable (Would block)"},
        {10047, "WSAEAFNOSUPPORT: Address family not supported by protocol family"},
        {10048, "WSAEADDRINUSE: Address already in use"},
        {10054, "WSAECONNRESET: Connection reset by peer"},
        {10060, "WSAETIMEDOUT: Connection timed out"},
        {10061, "WSAECONNREFUSED: Connection refused"},
        {10071, "WSAEREMOTE: Remote"},   // last of the contiguous run
        {10093, "WSANOTINITIALISED: Successful WSAStartup() not yet performed"},
        {10101, "WSAEDISCON: Graceful shutdown in progress"},
        {11004, "WSANO_DATA: Valid name no data record of requested type"},   // last entry
        // Gaps and neighbours have no text.
        {10000, ""}, {10003, ""}, {10005, ""}, {10072, ""}, {10090, ""}, {11000, ""}, {11005, ""}, {0, ""}, {-98, ""},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(WinSockErrorText(c.number), c.text) << c.number;
    }
}

TEST_F(EventLogTest, SocketErrorNamesTheErrorInWinSockOrSystemWords)
{
    struct Case {
        const char* what;
        int number;
        std::string message;
        bool exact;   // false: the message begins so, and the system's words go on
    } cases[] = {
        {"Unable to bind listen socket", 10048,
         "ERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use", true},
        // A system error without a WinSock text: its number and the system's text, not nothing.
        {"Listen thread terminated abnormally", SystemErrorSamples[0].number,
         "ERROR: Listen thread terminated abnormally : " + std::string(SystemErrorSamples[0].words),
         SystemErrorSamples[0].wordsExact},
        {"WSARecv()", SystemErrorSamples[1].number, "ERROR: WSARecv() : " + std::string(SystemErrorSamples[1].words),
         SystemErrorSamples[1].wordsExact},
        // A number that neither table knows ends in the colon and one blank.
        {"Unable to create listen socket", 12345, "ERROR: Unable to create listen socket : ", true},
    };
    for (const Case& c : cases) {
        target.Clear();
        LogSocketError(c.what, c.number);
        ASSERT_EQ(target.Messages().size(), 1u);
        const std::string logged = target.Messages()[0];   // Messages() answers a copy
        if (c.exact) {
            EXPECT_EQ(logged, c.message);
        } else {
            EXPECT_EQ(logged.substr(0, c.message.size()), c.message);
            EXPECT_GT(logged.size(), c.message.size()) << logged;
        }
    }
}

TEST_F(EventLogTest, SystemErrorShowsSignedNumber)
{
    LogSystemError("Unable to create listening thread", 8);
    LogSystemError("Unable to create client thread", -1);
    ASSERT_EQ(target.Messages().size(), 2u);
    EXPECT_EQ(target.Messages()[0], "ERROR: Unable to create listening thread : 8");
    EXPECT_EQ(target.Messages()[1], "ERROR: Unable to create client thread : -1");
}

TEST_F(EventLogTest, MessageLongerThanBufferIsCutTo511Characters)
{
    std::string longText(700, 'x');
    LogEvent("%s", longText.c_str());
    ASSERT_EQ(target.Messages().size(), 1u);
    EXPECT_EQ(target.Messages()[0], std::string(511, 'x'));
}

TEST_F(EventLogTest, FormatsLikePrintf)
{
    LogEvent("Connection accepted on socket %d from %s", 7, "127.0.0.1:40000");
    LogEvent("Client on socket %hu disconnected", static_cast<unsigned short>(65543));
    ASSERT_EQ(target.Messages().size(), 2u);
    EXPECT_EQ(target.Messages()[0], "Connection accepted on socket 7 from 127.0.0.1:40000");
    EXPECT_EQ(target.Messages()[1], "Client on socket 7 disconnected");
}

TEST(EventLogNoTargetTest, LoggingWithoutTargetIsHarmless)
{
    SetLogTarget(nullptr);
    LogEvent("nobody listens");
    LogSocketError("x", 10048);
}

}  // namespace
