#pragma once

#include <cstdint>

// A TCP socket: a file descriptor. No open socket is ever -1, so -1 marks "no socket".
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;

// The longest dotted IPv4 address, "255.255.255.255", and its terminator.
inline constexpr int kIpv4TextSize = 16;
// The longest address text of either family, an IPv6 address ending in a dotted IPv4 one
// ("ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255", 45 characters), and its terminator. Scoped
// link-local addresses ("fe80::1%eth0") are not read, so no zone ever needs room.
inline constexpr int kAddressTextSize = 46;
// The longest endpoint text: such an address in brackets, a colon and a port, "[...]:65535".
inline constexpr int kEndpointTextSize = kAddressTextSize + 2 + 6;

enum class AddressFamily : uint8_t { kIpv4, kIpv6 };

// A peer's address and port in this layer's own form, so that no system address record reaches
// the callers. The address bytes are in network order (IPv4 in the first four); the port in host
// order. An IPv4 client reaching a dual-stack socket is reported as IPv4, not as a mapped address.
struct SocketAddress {
    AddressFamily family;
    uint8_t bytes[16];
    uint16_t port;
};

// Unless said otherwise every operation answers 0 on success or a WinSock error number
// (platform/winsock_error.h), so that callers log the same texts on every platform.

// kNoSocket on failure, *error set. An IPv6 socket also takes IPv4 connections when bound to "::",
// wherever the system allows it (IPV6_V6ONLY cleared).
SocketHandle CreateTcpSocket(int* error, AddressFamily family = AddressFamily::kIpv4);
// The address is a dotted IPv4 address or an IPv6 literal, of the socket's family.
int BindSocket(SocketHandle socket, const char* address, uint16_t port);
int ListenOnSocket(SocketHandle socket);    // backlog SOMAXCONN
int LocalPort(SocketHandle socket, uint16_t* port);
// The address and port a connected socket's own end has, in the same form as a peer's (an IPv4
// connection on a dual-stack socket gives IPv4).
int LocalAddress(SocketHandle socket, SocketAddress* local);

// Blocks until a connection arrives. A connection that went away while it waited in the backlog,
// and the other transient failures that Linux reports from accept, give 10061 (WSAECONNREFUSED);
// an interrupting signal gives 10004. kNoSocket on failure, *error set.
SocketHandle AcceptConnection(SocketHandle listenSocket, SocketAddress* peer, int* error);

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
// The family of an address text as the bind reads it: a dotted IPv4 address such as 127.0.0.1, or
// an IPv6 literal such as ::1 (without brackets or zone); false for anything else.
bool AddressFamilyOf(const char* text, AddressFamily* family);

// "127.0.0.1:40112" or "[::1]:40112" into kEndpointTextSize bytes: the form the log, the console and
// the control interface show peers and listening endpoints in.
void FormatEndpoint(const SocketAddress& address, char* text);
// The same for an address text as the bind reads it; an IPv6 one (it has a colon) gets brackets.
void FormatEndpointOf(const char* address, uint16_t port, char* text);

// Whether listening on a port below 1024 needs privilege here (root or the capability
// CAP_NET_BIND_SERVICE on Linux; nothing on Windows), for the advice given when a bind is refused.
bool LowPortsNeedPrivilege();
