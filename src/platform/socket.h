#pragma once

#include <cstdint>

// A TCP socket: a file descriptor. No open socket is ever -1, so -1 marks "no socket".
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;

// The longest dotted IPv4 address, "255.255.255.255", and its terminator.
inline constexpr int kIpv4TextSize = 16;

// A client's IPv4 address and port, both in host byte order.
struct Ipv4Peer {
    uint32_t address;
    uint16_t port;
};

// Unless said otherwise every operation answers 0 on success or a WinSock error number
// (platform/winsock_error.h), so that callers log the same texts on every platform.

SocketHandle CreateTcpSocket(int* error);   // kNoSocket on failure, *error set
int BindSocket(SocketHandle socket, const char* dottedAddress, uint16_t port);
int ListenOnSocket(SocketHandle socket);    // backlog SOMAXCONN
int LocalPort(SocketHandle socket, uint16_t* port);

// Blocks until a connection arrives. A connection that went away while it waited in the backlog,
// and the other transient failures that Linux reports from accept, give 10061 (WSAECONNREFUSED);
// an interrupting signal gives 10004. kNoSocket on failure, *error set.
SocketHandle AcceptConnection(SocketHandle listenSocket, Ipv4Peer* peer, int* error);

int SetNoDelay(SocketHandle socket);
int SetKeepAlive(SocketHandle socket);
int SetReuseAddress(SocketHandle socket);
int SetSendTimeout(SocketHandle socket, int milliseconds);

// One receive that waits without time-out until something has arrived: the byte count, 0 when the
// peer has closed or the receiving side has been shut down, or -1 with *error set.
int ReceiveWaiting(SocketHandle socket, uint8_t* buffer, int count, int* error);

// One send of the whole buffer that never raises SIGPIPE: the count actually sent, or -1 with
// *error set. A send that ran out of its SO_SNDTIMEO reports 10060 (WSAETIMEDOUT).
int SendBytes(SocketHandle socket, const uint8_t* buffer, int count, int* error);

int CloseSocket(SocketHandle socket);
int ShutdownSocket(SocketHandle socket);    // both directions
// Ends the receiving side only: a receive blocked in the socket returns 0 at once, and so do later
// ones (data already queued may still come first). Sending still works. Never blocks.
int ShutdownReceive(SocketHandle socket);

// The host's name, NUL-terminated in at most nameSize bytes; false on failure.
bool GetLocalHostName(char* name, int nameSize);
// The first IPv4 address that `name` resolves to, dotted, into kIpv4TextSize bytes; false on failure.
bool ResolveFirstIpv4(const char* name, char* dottedAddress);
// True when text is a dotted IPv4 address such as 127.0.0.1, as the bind reads it.
bool IsDottedIpv4(const char* text);
