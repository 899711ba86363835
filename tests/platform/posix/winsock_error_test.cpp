#include <gtest/gtest.h>

#include <cerrno>

#include "log/winsock_error_text.h"
#include "platform/winsock_error.h"

namespace {

TEST(WinSockErrorFromErrnoTest, MapsTheErrorsTheServerMeets)
{
    struct Case {
        int errnoValue;
        int winSock;
    } cases[] = {
        {EINTR, 10004},       {EBADF, 10009},        {EACCES, 10013},     {EINVAL, 10022},
        {EMFILE, 10024},      {EAGAIN, 10035},       {EWOULDBLOCK, 10035}, {ENOTSOCK, 10038},
        {EOPNOTSUPP, 10045},  {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
        {ENETUNREACH, 10051}, {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {ENOBUFS, 10055},
        {ENOTCONN, 10057},    {EPIPE, 10058},        {ETIMEDOUT, 10060},  {ECONNREFUSED, 10061},
        {EHOSTUNREACH, 10065}, {EREMOTE, 10071},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WinSockErrorFromErrno(c.errnoValue), c.winSock) << c.errnoValue;
    }
}

TEST(WinSockErrorFromErrnoTest, EveryMappedNumberHasATextAndOthersHaveNone)
{
    int mapped = 0;
    for (int errnoValue = 1; errnoValue < 200; ++errnoValue) {
        int number = WinSockErrorFromErrno(errnoValue);
        if (number > 0) {
            ++mapped;
            EXPECT_STRNE(WinSockErrorText(number), "") << errnoValue;
        } else {
            EXPECT_EQ(number, -errnoValue);
            EXPECT_STREQ(WinSockErrorText(number), "");
        }
    }
    // Every WinSock entry from 10004 to 10071 but WSAEPROCLIM has a Linux errno; several errnos share one.
    EXPECT_GE(mapped, 42);
    EXPECT_EQ(WinSockErrorFromErrno(ENOENT), -ENOENT);   // no socket counterpart
}

TEST(AcceptErrorFromErrnoTest, PendingConnectionFailuresAreRetriedOthersEndTheRun)
{
    struct Case {
        int errnoValue;
        int winSock;
    } cases[] = {
        // The connection went away or was refused while waiting: accept again.
        {ECONNABORTED, 10061}, {EPROTO, 10061}, {ENETDOWN, 10061}, {EHOSTUNREACH, 10061},
        {ENETUNREACH, 10061},  {ENONET, 10061}, {EPERM, 10061},    {EAGAIN, 10061},
        // A signal: not a stop by itself.
        {EINTR, 10004},
        // The listening socket or the process is in trouble: the run ends.
        {EMFILE, 10024}, {ENFILE, 10024}, {ENOBUFS, 10055}, {ENOMEM, 10055}, {EBADF, 10009}, {EINVAL, 10022},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AcceptErrorFromErrno(c.errnoValue), c.winSock) << c.errnoValue;
    }
}

}  // namespace
