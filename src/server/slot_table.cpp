#include "server/slot_table.h"

#include <cstring>

#include "log/event_log.h"
#include "platform/clock.h"

ConnectionSlot SlotTable[kSlotCount];
CountingSemaphore FreeSlotSemaphore;

void InitSlotTable()
{
    InitSemaphore(&FreeSlotSemaphore, 0, kSlotCount);
    for (ConnectionSlot& slot : SlotTable) {
        {
            std::lock_guard<std::recursive_mutex> hold(slot.lock);
            slot.clientSocket = kNoSocket;
            slot.peerText[0] = '\0';
            slot.lastRequestLength = 0;
            slot.lastResponseLength = 0;
        }
        int error = CreateKickEvent(&slot.kickEvent);
        if (error != 0) {
            // Without its eventfd the slot's kick is still seen through the atomic flag, but only at
            // its connection's next receive (poll ignores descriptor -1); the run goes on.
            LogSystemError("Unable to create kick event", error);
        }
    }
}

void DestroySlotTable()
{
    for (ConnectionSlot& slot : SlotTable) {
        CloseKickEvent(&slot.kickEvent);
    }
}

void SnapshotSlot(int slotNumber, SlotSnapshot* snapshot)
{
    ConnectionSlot& slot = SlotTable[slotNumber];
    std::lock_guard<std::recursive_mutex> hold(slot.lock);
    snapshot->clientSocket = slot.clientSocket;
    std::memcpy(snapshot->peerText, slot.peerText, sizeof snapshot->peerText);
    snapshot->connectTick = slot.connectTick;
    snapshot->bytesReceived = slot.bytesReceived;
    snapshot->bytesTransmitted = slot.bytesTransmitted;
    snapshot->acceptedRequests = slot.acceptedRequests;
    snapshot->rejectedRequests = slot.rejectedRequests;
    snapshot->lastActivityTick = slot.lastActivityTick;
    snapshot->lastRequestLength = slot.lastRequestLength;
    std::memcpy(snapshot->lastRequest, slot.lastRequest, sizeof snapshot->lastRequest);
    snapshot->lastResponseLength = slot.lastResponseLength;
    std::memcpy(snapshot->lastResponse, slot.lastResponse, sizeof snapshot->lastResponse);
}

void ArmSlots()
{
    for (ConnectionSlot& slot : SlotTable) {
        ResetKickEvent(&slot.kickEvent);
        ReleaseSemaphore(&FreeSlotSemaphore);
    }
}

void DisarmSlots()
{
    // One count per slot, each taken after that slot's kick: the fourth returns only once every
    // connection has released its slot.
    for (ConnectionSlot& slot : SlotTable) {
        SetKickEvent(&slot.kickEvent);
        AcquireSemaphore(&FreeSlotSemaphore);
    }
}

void StoreRequest(ConnectionSlot* slot, const uint8_t* adu, uint16_t length)
{
    slot->currentRequestLength = length;
    std::memcpy(slot->currentRequest, adu, length);
}

void StoreResponse(ConnectionSlot* slot, const uint8_t* adu, uint16_t length)
{
    slot->currentResponseLength = length;
    std::memcpy(slot->currentResponse, adu, length);
}

void RecordTransaction(ConnectionSlot* slot, ExceptionCode code)
{
    std::lock_guard<std::recursive_mutex> hold(slot->lock);
    slot->lastActivityTick = TickCount();
    if (code == kNoException) {
        ++slot->acceptedRequests;
    } else {
        ++slot->rejectedRequests;
    }
    slot->bytesReceived += slot->currentRequestLength;
    slot->lastRequestLength = slot->currentRequestLength;
    std::memcpy(slot->lastRequest, slot->currentRequest, slot->currentRequestLength);
    slot->bytesTransmitted += slot->currentResponseLength;
    slot->lastResponseLength = slot->currentResponseLength;
    std::memcpy(slot->lastResponse, slot->currentResponse, slot->currentResponseLength);
}

int SlotNumber(const ConnectionSlot* slot)
{
    return static_cast<int>(slot - SlotTable);
}
