#include "server/mbap_framing.h"

#include <cstring>

#include "log/event_log.h"
#include "server/server_counters.h"
#include "server/wire_observer.h"

namespace {

// The MBAP length field counts the unit identifier and the PDU: the bytes after offset 6.
constexpr int kBytesBeforeLengthCount = 6;
constexpr int kMaxBytesAfterHeader = kAduCapacity - kMbapHeaderSize;   // 253

static_assert(kReceiveCapacity >= kAduCapacity, "the buffer must hold the longest request whole");

int Unserved(const ReceiveBuffer* received)
{
    return received->end - received->start;
}

// Moves the unserved bytes to the buffer's front, so that the free room behind them is as large as
// it can be. They are fewer than one request (a whole one is served before anything is received),
// so this copies nothing in the usual case, where every received byte has been served.
void CompactReceiveBuffer(ReceiveBuffer* received)
{
    int unserved = Unserved(received);
    if (unserved > 0 && received->start > 0) {
        std::memmove(received->bytes, received->bytes + received->start, static_cast<size_t>(unserved));
    }
    received->start = 0;
    received->end = unserved;
}

// One receive into the buffer's free room; 1 when bytes arrived, 0 when the connection must end.
// The kick is tested before the receive; a kick that comes while the receive blocks reaches it
// through the socket's shut-down receiving side and ends the connection without a log line.
int ReceiveMore(SocketHandle socket, ReceiveBuffer* received, KickEvent* kick)
{
    CompactReceiveBuffer(received);
    // Announced before the test below, so that a kick racing with it either is seen there or sees
    // this and shuts the receiving side down, which ends the receive.
    kick->receiverMayBlock.store(true, std::memory_order_seq_cst);
    if (IsKickSignalled(kick)) {
        kick->receiverMayBlock.store(false, std::memory_order_seq_cst);
        return 0;
    }
    int error = 0;
    int count = ReceiveWaiting(socket, received->bytes + received->end, kReceiveCapacity - received->end, &error);
    kick->receiverMayBlock.store(false, std::memory_order_seq_cst);
    if (count < 0) {
        LogSocketError("WSARecv()", error);
        return 0;
    }
    if (count == 0) {
        // A kick sets the flag before it shuts the receiving side down, so an end seen with the
        // flag set is the kick's and not the client's.
        if (!IsKickSignalled(kick)) {
            ObserveConnectionClosed(socket, WireCloser::kClient);
            LogEvent("Client on socket %hu disconnected", static_cast<unsigned short>(socket));
        }
        return 0;
    }
    ObserveBytesReceived(socket, received->bytes + received->end, count);
    received->end += count;
    return 1;
}

// Receives until the buffer holds `wanted` unserved bytes; 1 then, 0 when the connection must end.
// The kick is tested once more when the bytes are there, also when no receive was needed: bytes
// that are already in the buffer, however many, are never served after an eviction or a stop.
int FillReceiveBuffer(SocketHandle socket, ReceiveBuffer* received, int wanted, KickEvent* kick)
{
    while (Unserved(received) < wanted) {
        if (ReceiveMore(socket, received, kick) == 0) {
            return 0;
        }
    }
    return IsKickSignalled(kick) ? 0 : 1;
}

}  // namespace

uint16_t ReceiveAdu(SocketHandle socket, ReceiveBuffer* received, uint8_t* adu, KickEvent* kick)
{
    if (FillReceiveBuffer(socket, received, kMbapHeaderSize, kick) == 0) {
        return 0;
    }
    int rest = CheckMbapHeader(received->bytes + received->start, socket);
    if (rest == 0) {
        return 0;
    }
    int length = kMbapHeaderSize + rest;
    if (FillReceiveBuffer(socket, received, length, kick) == 0) {
        return 0;
    }
    // Served from a copy: the response is built over the request and is usually longer, so built in
    // place it would overwrite the requests that wait behind this one.
    std::memcpy(adu, received->bytes + received->start, static_cast<size_t>(length));
    received->start += length;
    return static_cast<uint16_t>(length);
}

int CheckMbapHeader(const uint8_t* header, SocketHandle socket)
{
    unsigned protocolId = (static_cast<unsigned>(header[2]) << 8) | header[3];
    if (protocolId != 0) {
        CountFramingViolation();
        LogEvent("The request from client on socket %hu had invalid Protocol ID", static_cast<unsigned short>(socket));
        return 0;
    }
    int rest = static_cast<int>((static_cast<unsigned>(header[4]) << 8) | header[5]) - 1;
    if (rest < 1 || rest > kMaxBytesAfterHeader) {
        CountFramingViolation();
        LogEvent("The request from client on socket %hu had invalid Command Length",
                 static_cast<unsigned short>(socket));
        return 0;
    }
    return rest;
}

int SendResponse(SocketHandle socket, uint8_t* adu, uint16_t totalLength)
{
    uint16_t lengthField = static_cast<uint16_t>(totalLength - kBytesBeforeLengthCount);
    adu[4] = static_cast<uint8_t>(lengthField >> 8);
    adu[5] = static_cast<uint8_t>(lengthField & 0xFF);
    int error = 0;
    int sent = SendBytes(socket, adu, totalLength, &error);
    if (sent > 0) {
        ObserveBytesSent(socket, adu, sent);
    }
    if (sent < 0) {
        LogSocketError("send()", error);
        return 0;
    }
    if (sent < totalLength) {
        LogEvent("ERROR: Failed to send complete response to client.");
        return 0;
    }
    return 1;
}
