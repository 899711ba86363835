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
        std::lock_guard<std::recursive_mutex> hold(slot.lock);
        slot.clientSocket = kNoSocket;
        slot.peerText[0] = '\0';
        slot.lastRequestLength = 0;
        slot.lastResponseLength = 0;
        SetKickEvent(&slot.kickEvent);   // while stopped every kick is signalled
    }
}

void DestroySlotTable()
{
    // Nothing to release: the locks, the kick flags and the count hold no system resource.
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
        KickSlot(&slot);
        AcquireSemaphore(&FreeSlotSemaphore);
    }
}

void KickSlot(ConnectionSlot* slot)
{
    // The flag first: a client thread that tested it just before is then woken by the shut-down
    // receiving side, which lasts, and finds the flag set when its receive returns 0.
    SetKickEvent(&slot->kickEvent);
    // Only a thread that may be blocked in a receive needs the shutdown; one busy elsewhere sees the
    // flag at its next receive. Sparing it keeps a send blocked on a client that does not read
    // bounded by its time-out alone, as without the shutdown.
    if (!slot->kickEvent.receiverMayBlock.load(std::memory_order_seq_cst)) {
        return;
    }
    // Under the lock, because ReleaseSlot clears clientSocket under it before closing the socket:
    // a descriptor read here is still open and cannot have been reused. Shutting down neither
    // blocks nor logs, so holding the lock for it is safe.
    std::lock_guard<std::recursive_mutex> hold(slot->lock);
    if (slot->clientSocket != kNoSocket) {
        ShutdownReceive(slot->clientSocket);
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
