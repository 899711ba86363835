#pragma once

// The system's address records, which WinSock keeps as the Berkeley sockets do: one piece of code
// for both backends. Only the backends' socket code includes this.

#include <cstdint>

#include "platform/socket.h"
#include "system_sockets.h"   // the backend's own

// The system's record for an address text and a port; false when the text is no address.
bool FillSocketAddress(const char* text, uint16_t port, sockaddr_storage* storage, SystemAddressLength* length);

// The layer's own form of a system address record; an IPv4-mapped IPv6 address becomes IPv4.
SocketAddress AddressOfRecord(const sockaddr_storage& storage);
