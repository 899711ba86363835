#pragma once

#include <cstdint>

#include "platform/kick_event.h"
#include "platform/socket.h"

// Where the next received bytes go and how many are still wanted.
struct ReceiveCursor {
    uint8_t* position;
    int wanted;
};

// Reads one request ADU: the 7-byte MBAP header, then exactly the rest its length field announces.
// Returns the ADU's total length (8 to 260), or 0 when the connection must end (already logged).
uint16_t ReceiveAdu(SocketHandle socket, uint8_t* adu, KickEvent* kick);

// Fills the cursor's count; 1 when it has arrived, 0 when the connection must end. The kick is
// tested before every receive. With waitFirst the socket is polled before the first receive (the
// caller expects to wait, as for the next request's header); otherwise the receive is tried at once
// and the socket polled only when nothing is there yet.
int ReceiveExact(SocketHandle socket, ReceiveCursor* cursor, KickEvent* kick, bool waitFirst);

// The number of bytes that follow the 7 header bytes (1 to 253), or 0 after logging the violation.
int CheckMbapHeader(const uint8_t* header, SocketHandle socket);

// Writes the length field and sends the response in one send; 1 when sent whole, 0 when the
// connection must end (already logged).
int SendResponse(SocketHandle socket, uint8_t* adu, uint16_t totalLength);
