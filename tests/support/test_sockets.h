#pragma once

// Socket calls that only tests and tools need: a client connection, an abortive close, a local
// socket pair. Results as the platform layer's: 0 or a WinSock error number.

#include <cstdint>

#include "platform/socket.h"

// True when this machine has an IPv6 loopback (a socket can be bound to ::1); tests of IPv6 skip
// without one.
bool HasIpv6Loopback();

// A client connection to 127.0.0.1, ::1 or another IPv4 or IPv6 address: kNoSocket on failure,
// *error set. A receiveBufferBytes above 0 sets SO_RCVBUF before connecting, so that the window offered
// to the server stays that small.
SocketHandle ConnectTcp(const char* address, uint16_t port, int* error, int receiveBufferBytes = 0);

// Close with a reset instead of the orderly end (SO_LINGER with time-out 0).
int SetAbortiveClose(SocketHandle socket);

// Two connected stream sockets in this process, for feeding bytes to the receive path.
int CreateStreamSocketPair(SocketHandle ends[2]);

// One receive that never waits: the byte count, 0 when the peer has closed, or -1 with *error set
// (10035 when nothing is there yet).
int ReceiveNow(SocketHandle socket, uint8_t* buffer, int count, int* error);

// Waits at most `milliseconds` for the socket to become readable; false on time-out or failure.
bool WaitReadable(SocketHandle socket, int milliseconds);
