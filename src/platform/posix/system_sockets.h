#pragma once

// The system's socket headers and types for the Berkeley-sockets code that both backends share
// (src/platform/sockets/).

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

using SystemAddressLength = socklen_t;

// Nothing to start before the address functions can be used.
inline bool StartSystemSockets()
{
    return true;
}
