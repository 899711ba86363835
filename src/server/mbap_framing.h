#pragma once

#include <cstdint>

#include "modbus/modbus_limits.h"
#include "platform/kick_event.h"
#include "platform/socket.h"

// Room for several requests that a client sends back to back, so that one receive usually takes
// all of them; it always holds the unserved start of a request (at most 259 bytes) and the rest.
inline constexpr int kReceiveCapacity = 4 * kAduCapacity;

// The bytes received on one connection that have not been served yet: whole requests that came in
// one segment wait here for their turn, and a split request until its last byte has arrived.
struct ReceiveBuffer {
    uint8_t bytes[kReceiveCapacity];
    int start;   // the first byte not yet served
    int end;     // one past the last byte received
};

// Copies the next request ADU out of the buffer into `adu`, receiving only while the buffer holds
// less than the whole request; a whole request that arrived at once costs one receive. Returns the
// ADU's total length (8 to 260), or 0 when the connection must end (already logged). The kick is
// tested before every receive and before every request is served, even one already in the buffer,
// so that a client that keeps sending cannot outlast an eviction or a stop; a kick that comes while
// a receive blocks reaches it through the socket's shut-down receiving side. A kick ends the
// connection without a log line.
uint16_t ReceiveAdu(SocketHandle socket, ReceiveBuffer* received, uint8_t* adu, KickEvent* kick);

// The number of bytes that follow the 7 header bytes (1 to 253), or 0 after logging the violation.
int CheckMbapHeader(const uint8_t* header, SocketHandle socket);

// Writes the length field and sends the response in one send; 1 when sent whole, 0 when the
// connection must end (already logged).
int SendResponse(SocketHandle socket, uint8_t* adu, uint16_t totalLength);
