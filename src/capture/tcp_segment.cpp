#include "capture/tcp_segment.h"

#include <cstring>

namespace {

constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kHopLimit = 64;
constexpr uint16_t kWindow = 65535;
constexpr uint16_t kDontFragment = 0x4000;

void PutU16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void PutU32(uint8_t* at, uint32_t value)
{
    PutU16(at, value >> 16);
    PutU16(at + 2, value & 0xFFFF);
}

// The Internet checksum's running sum of big-endian 16-bit words; an odd last byte is padded with 0.
uint32_t AddWords(uint32_t sum, const uint8_t* bytes, int count)
{
    for (int index = 0; index + 1 < count; index += 2) {
        sum += (static_cast<uint32_t>(bytes[index]) << 8) | bytes[index + 1];
    }
    if (count % 2 != 0) {
        sum += static_cast<uint32_t>(bytes[count - 1]) << 8;
    }
    return sum;
}

uint16_t FoldChecksum(uint32_t sum)
{
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}

int AddressSize(const SocketAddress& address)
{
    return address.family == AddressFamily::kIpv4 ? 4 : 16;
}

int WriteIpv4Header(const SocketAddress& from, const SocketAddress& to, int tcpLength, uint8_t* header)
{
    std::memset(header, 0, kIpv4HeaderSize);
    header[0] = 0x45;   // version 4, five 32-bit words
    PutU16(header + 2, static_cast<uint32_t>(kIpv4HeaderSize + tcpLength));
    PutU16(header + 6, kDontFragment);
    header[8] = kHopLimit;
    header[9] = kProtocolTcp;
    std::memcpy(header + 12, from.bytes, 4);
    std::memcpy(header + 16, to.bytes, 4);
    PutU16(header + 10, FoldChecksum(AddWords(0, header, kIpv4HeaderSize)));
    return kIpv4HeaderSize;
}

int WriteIpv6Header(const SocketAddress& from, const SocketAddress& to, int tcpLength, uint8_t* header)
{
    std::memset(header, 0, kIpv6HeaderSize);
    header[0] = 0x60;   // version 6, no traffic class or flow label
    PutU16(header + 4, static_cast<uint32_t>(tcpLength));
    header[6] = kProtocolTcp;
    header[7] = kHopLimit;
    std::memcpy(header + 8, from.bytes, 16);
    std::memcpy(header + 24, to.bytes, 16);
    return kIpv6HeaderSize;
}

// The sum over the pseudo-header the TCP checksum covers: both addresses, the protocol and the
// segment's length (the same words for IPv4 and IPv6, summed the same way).
uint32_t PseudoHeaderSum(const SocketAddress& from, const SocketAddress& to, int tcpLength)
{
    uint32_t sum = AddWords(0, from.bytes, AddressSize(from));
    sum = AddWords(sum, to.bytes, AddressSize(to));
    return sum + kProtocolTcp + static_cast<uint32_t>(tcpLength);
}

}  // namespace

int BuildTcpPacket(const SocketAddress& from, const SocketAddress& to, const TcpSegmentFields& fields,
                   const uint8_t* payload, int payloadLength, uint8_t* packet)
{
    const int tcpLength = kTcpHeaderSize + payloadLength;
    const int ipLength = from.family == AddressFamily::kIpv4 ? WriteIpv4Header(from, to, tcpLength, packet)
                                                             : WriteIpv6Header(from, to, tcpLength, packet);
    uint8_t* tcp = packet + ipLength;
    std::memset(tcp, 0, kTcpHeaderSize);
    PutU16(tcp, from.port);
    PutU16(tcp + 2, to.port);
    PutU32(tcp + 4, fields.sequence);
    PutU32(tcp + 8, (fields.flags & kTcpAck) != 0 ? fields.acknowledgement : 0);
    tcp[12] = (kTcpHeaderSize / 4) << 4;
    tcp[13] = fields.flags;
    PutU16(tcp + 14, kWindow);
    if (payloadLength > 0) {
        std::memcpy(tcp + kTcpHeaderSize, payload, static_cast<size_t>(payloadLength));
    }
    uint32_t sum = AddWords(PseudoHeaderSum(from, to, tcpLength), tcp, tcpLength);
    PutU16(tcp + 16, FoldChecksum(sum));
    return ipLength + tcpLength;
}
