#pragma once

// The system's socket headers and types for the Berkeley-sockets code that both backends share
// (src/platform/sockets/).

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/winsock_startup.h"

using SystemAddressLength = int;

// WinSock started, as every socket and address function wants it; false when it cannot be.
inline bool StartSystemSockets()
{
    return EnsureWinSock() == 0;
}
