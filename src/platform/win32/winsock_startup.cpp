#include "platform/win32/winsock_startup.h"

#include <winsock2.h>

namespace {

constexpr WORD kWinSockVersion = MAKEWORD(2, 2);

struct WinSockSession {
    int error = 0;
    bool started = false;

    WinSockSession()
    {
        WSADATA data{};
        error = WSAStartup(kWinSockVersion, &data);
        if (error != 0) {
            return;
        }
        started = true;
        // Both bytes must match: a WinSock that offers 2.0 or 2.1 only is refused.
        if (data.wVersion != kWinSockVersion) {
            error = WSAVERNOTSUPPORTED;
        }
    }

    ~WinSockSession()
    {
        if (started) {
            WSACleanup();
        }
    }
};

}  // namespace

int EnsureWinSock()
{
    // Constructed by the first caller, on whichever thread that is; destroyed at the process's end.
    static WinSockSession session;
    return session.error;
}

int AcceptErrorFromWinSock(int number)
{
    switch (number) {
    case WSAECONNRESET:   // the peer reset the connection while it waited in the backlog
    case WSAENOTCONN:     // the same under Wine, which reports such a connection as not connected
    case WSAECONNABORTED:
    case WSAENETDOWN:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return WSAECONNREFUSED;
    default:
        return number;
    }
}

bool IsReceiveEnd(int number)
{
    return number == WSAESHUTDOWN || number == WSA_OPERATION_ABORTED || number == WSAEDISCON;
}
