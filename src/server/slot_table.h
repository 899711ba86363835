#pragma once

#include <cstdint>
#include <mutex>

#include "modbus/exception_code.h"
#include "modbus/modbus_limits.h"
#include "platform/kick_event.h"
#include "platform/socket.h"

inline constexpr int kSlotCount = 4;
inline constexpr int kPeerTextSize = 24;   // "255.255.255.255:65535" and its terminator fit

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

void InitSlotTable();
void DestroySlotTable();
void SnapshotSlot(int slotNumber, SlotSnapshot* snapshot);
