#include "support/test_sockets.h"

// What the test sockets need of the platform layer alone, for both kinds of system.

bool HasIpv6Loopback()
{
    int error = 0;
    SocketHandle probe = CreateTcpSocket(&error, AddressFamily::kIpv6);
    if (probe == kNoSocket) {
        return false;
    }
    const bool bound = BindSocket(probe, "::1", 0) == 0;
    CloseSocket(probe);
    return bound;
}
