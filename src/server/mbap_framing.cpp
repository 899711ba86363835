#include "server/mbap_framing.h"

#include "log/event_log.h"
#include "modbus/modbus_limits.h"
#include "platform/winsock_error.h"

namespace {

// The MBAP length field counts the unit identifier and the PDU: the bytes after offset 6.
constexpr int kBytesBeforeLengthCount = 6;
constexpr int kMaxBytesAfterHeader = kAduCapacity - kMbapHeaderSize;   // 253

}  // namespace

uint16_t ReceiveAdu(SocketHandle socket, uint8_t* adu, KickEvent* kick)
{
    ReceiveCursor header{adu, kMbapHeaderSize};
    if (ReceiveExact(socket, &header, kick, true) == 0) {
        return 0;
    }
    int rest = CheckMbapHeader(adu, socket);
    if (rest == 0) {
        return 0;
    }
    // The rest almost always arrived with the header: try it before blocking.
    ReceiveCursor body{adu + kMbapHeaderSize, rest};
    if (ReceiveExact(socket, &body, kick, false) == 0) {
        return 0;
    }
    return static_cast<uint16_t>(kMbapHeaderSize + rest);
}

int ReceiveExact(SocketHandle socket, ReceiveCursor* cursor, KickEvent* kick, bool waitFirst)
{
    bool wait = waitFirst;
    while (cursor->wanted > 0) {
        if (wait) {
            // Announced before the test below, so that a kick racing with it either is seen there
            // or sees this and shuts the receiving side down, which ends the receive.
            kick->receiverMayBlock.store(true, std::memory_order_seq_cst);
        }
        // Before every receive, not only before a wait: a client that keeps data flowing must not
        // be able to outlast an eviction or a stop.
        if (IsKickSignalled(kick)) {
            kick->receiverMayBlock.store(false, std::memory_order_seq_cst);
            return 0;
        }
        int error = 0;
        int received = 0;
        if (wait) {
            received = ReceiveWaiting(socket, cursor->position, cursor->wanted, &error);
            kick->receiverMayBlock.store(false, std::memory_order_seq_cst);
        } else {
            received = ReceiveNow(socket, cursor->position, cursor->wanted, &error);
        }
        if (received < 0) {
            if (error == kWsaEwouldblock && !wait) {
                wait = true;
                continue;
            }
            LogSocketError("WSARecv()", error);
            return 0;
        }
        if (received == 0) {
            // A kick sets the flag before it shuts the receiving side down, so an end seen with the
            // flag set is the kick's and not the client's.
            if (!IsKickSignalled(kick)) {
                LogEvent("Client on socket %hu disconnected", static_cast<unsigned short>(socket));
            }
            return 0;
        }
        cursor->position += received;
        cursor->wanted -= received;
        wait = false;
    }
    return 1;
}

int CheckMbapHeader(const uint8_t* header, SocketHandle socket)
{
    unsigned protocolId = (static_cast<unsigned>(header[2]) << 8) | header[3];
    if (protocolId != 0) {
        LogEvent("The request from client on socket %hu had invalid Protocol ID", static_cast<unsigned short>(socket));
        return 0;
    }
    int rest = static_cast<int>((static_cast<unsigned>(header[4]) << 8) | header[5]) - 1;
    if (rest < 1 || rest > kMaxBytesAfterHeader) {
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
