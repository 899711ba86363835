#pragma once

#include <cstdint>

#include "platform/socket.h"

// The TCP flags a captured segment carries.
inline constexpr uint8_t kTcpFin = 0x01;
inline constexpr uint8_t kTcpSyn = 0x02;
inline constexpr uint8_t kTcpPush = 0x08;
inline constexpr uint8_t kTcpAck = 0x10;

inline constexpr int kIpv4HeaderSize = 20;
inline constexpr int kIpv6HeaderSize = 40;
inline constexpr int kTcpHeaderSize = 20;   // no options
// The most payload one built segment carries; longer runs of bytes are cut into several segments.
// Well under the loopback MTU, so the file looks like what a capture on the interface would show.
inline constexpr int kMaxSegmentPayload = 1400;
inline constexpr int kMaxPacketSize = kIpv6HeaderSize + kTcpHeaderSize + kMaxSegmentPayload;

// One segment's TCP fields besides the ports.
struct TcpSegmentFields {
    uint32_t sequence;
    uint32_t acknowledgement;   // sent only with kTcpAck
    uint8_t flags;
};

// Writes one IP packet, IPv4 or IPv6 as `from` and `to` are (they share a family), holding a TCP
// segment from `from` to `to` with `payload`, into `packet` (room for kMaxPacketSize); both
// checksums are filled in. `payloadLength` is at most kMaxSegmentPayload. Returns the packet's length.
int BuildTcpPacket(const SocketAddress& from, const SocketAddress& to, const TcpSegmentFields& fields,
                   const uint8_t* payload, int payloadLength, uint8_t* packet);
