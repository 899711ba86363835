#pragma once

#include <cstdint>
#include <mutex>

#include "modbus/exception_code.h"
#include "modbus/modbus_limits.h"
#include "platform/counting_semaphore.h"
#include "platform/kick_event.h"
#include "platform/socket.h"

inline constexpr int kSlotCount = 4;
// "255.255.255.255:65535", or an IPv6 peer as "[ffff:...:255.255.255.255]:65535", and the terminator.
inline constexpr int kPeerTextSize = kEndpointTextSize;
// How long one send may wait for a client that does not read before the connection is given up;
// bounds how long such a client can hold up an eviction or a stop.
inline constexpr int kSendTimeoutMilliseconds = 5000;

// One client connection's record. `lock` guards the published fields, clientSocket through
// lastResponse; the current fields belong to the slot's client thread alone.
struct ConnectionSlot {
    std::recursive_mutex lock;
    SocketHandle clientSocket;   // kNoSocket while the slot is free
    char peerText[kPeerTextSize];
    uint32_t connectTick;
    uint64_t bytesReceived;
    uint64_t bytesTransmitted;
    uint32_t acceptedRequests;
    uint32_t rejectedRequests;
    uint32_t lastActivityTick;
    uint16_t lastRequestLength;
    uint8_t lastRequest[kAduCapacity];
    uint16_t lastResponseLength;
    uint8_t lastResponse[kAduCapacity];
    KickEvent kickEvent;
    uint16_t currentRequestLength;
    uint8_t currentRequest[kAduCapacity];
    uint16_t currentResponseLength;
    uint8_t currentResponse[kAduCapacity];
};

// A plain copy of one slot's published fields, taken under its lock.
struct SlotSnapshot {
    SocketHandle clientSocket;   // kNoSocket: the slot is free
    char peerText[kPeerTextSize];
    uint32_t connectTick;
    uint64_t bytesReceived;
    uint64_t bytesTransmitted;
    uint32_t acceptedRequests;
    uint32_t rejectedRequests;
    uint32_t lastActivityTick;
    uint16_t lastRequestLength;
    uint8_t lastRequest[kAduCapacity];
    uint16_t lastResponseLength;
    uint8_t lastResponse[kAduCapacity];
};

// The four slots and the count of free slots while the server runs (0 while it is stopped).
extern ConnectionSlot SlotTable[kSlotCount];
extern CountingSemaphore FreeSlotSemaphore;

void InitSlotTable();
void DestroySlotTable();
void SnapshotSlot(int slotNumber, SlotSnapshot* snapshot);

// The listener's side: a run starts with ArmSlots (every kick reset, four free counts) and ends with
// DisarmSlots (every connection kicked, returns once all four slots are free again).
void ArmSlots();
void DisarmSlots();

// Tells the slot's connection to end: sets its kick, then shuts down the receiving side of its socket
// so that a client thread blocked in a receive wakes at once. Does nothing more on a free slot.
void KickSlot(ConnectionSlot* slot);

// Binds an accepted connection to the first free slot, evicting the idlest connection and waiting
// when all four are busy; never fails.
ConnectionSlot* AcquireSlot(SocketHandle socket, const SocketAddress& peer);
// Frees the slot, closes its socket, logs the close and only then returns the slot's free count.
void ReleaseSlot(ConnectionSlot* slot);

// The client thread's side, once per request; only RecordTransaction takes the slot lock.
void StoreRequest(ConnectionSlot* slot, const uint8_t* adu, uint16_t length);
void StoreResponse(ConnectionSlot* slot, const uint8_t* adu, uint16_t length);
void RecordTransaction(ConnectionSlot* slot, ExceptionCode code);

// The slot to evict: the one idle longest at `now`, idle time being now - lastActivityTick modulo
// 2^32 so that the tick counter's wrap changes nothing; on equal idle times the lower slot.
int ChooseSlotToEvict(const uint32_t lastActivityTicks[kSlotCount], uint32_t now);

int SlotNumber(const ConnectionSlot* slot);
