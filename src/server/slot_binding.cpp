#include "server/slot_table.h"

#include "log/event_log.h"
#include "platform/clock.h"
#include "server/server_counters.h"
#include "server/wire_observer.h"

namespace {

// The socket options every accepted connection gets; a failure is logged and the connection served.
void PrepareClientSocket(SocketHandle socket)
{
    int error = SetNoDelay(socket);
    if (error != 0) {
        LogSocketError("Unable to set TCP_NODELAY socket option", error);
    }
    error = SetKeepAlive(socket);
    if (error != 0) {
        LogSocketError("Unable to set SO_KEEPALIVE socket option", error);
    }
    error = SetSendTimeout(socket, kSendTimeoutMilliseconds);
    if (error != 0) {
        LogSocketError("Unable to set SO_SNDTIMEO socket option", error);
    }
}

// Called with the slot's lock held and its free count already taken.
void BindSlot(ConnectionSlot* slot, SocketHandle socket, const SocketAddress& peer)
{
    slot->clientSocket = socket;
    FormatEndpoint(peer, slot->peerText);
    uint32_t now = TickCount();
    slot->connectTick = now;
    slot->lastActivityTick = now;
    slot->bytesReceived = 0;
    slot->bytesTransmitted = 0;
    slot->acceptedRequests = 0;
    slot->rejectedRequests = 0;
    slot->lastRequestLength = 0;
    slot->lastResponseLength = 0;
    ResetKickEvent(&slot->kickEvent);
}

}  // namespace

int ChooseSlotToEvict(const uint32_t lastActivityTicks[kSlotCount], uint32_t now)
{
    int chosen = 0;
    uint32_t longestIdle = now - lastActivityTicks[0];
    for (int slotNumber = 1; slotNumber < kSlotCount; ++slotNumber) {
        uint32_t idle = now - lastActivityTicks[slotNumber];
        if (idle > longestIdle) {   // strictly longer: a tie stays with the lower slot
            chosen = slotNumber;
            longestIdle = idle;
        }
    }
    return chosen;
}

ConnectionSlot* AcquireSlot(SocketHandle socket, const SocketAddress& peer)
{
    PrepareClientSocket(socket);
    for (;;) {
        ConnectionSlot* bound = nullptr;
        bool sawFreeSlot = false;
        uint32_t lastActivityTicks[kSlotCount] = {};
        for (int slotNumber = 0; slotNumber < kSlotCount && bound == nullptr; ++slotNumber) {
            ConnectionSlot& slot = SlotTable[slotNumber];
            std::lock_guard<std::recursive_mutex> hold(slot.lock);
            if (slot.clientSocket != kNoSocket) {
                lastActivityTicks[slotNumber] = slot.lastActivityTick;
                continue;
            }
            sawFreeSlot = true;
            // Never wait for the count under the lock: a releasing thread returns its count only
            // after logging, and the log may wait for a thread that wants this lock.
            if (TryAcquireSemaphore(&FreeSlotSemaphore)) {
                BindSlot(&slot, socket, peer);
                bound = &slot;
            }
        }
        if (bound != nullptr) {
            CountConnectionAccepted();
            LogEvent("Connection accepted on socket %d from %s", socket, bound->peerText);
            ObserveConnectionOpened(socket, peer);
            return bound;
        }
        if (!sawFreeSlot) {
            // Read after every tick of the pass, so no idle time comes out negative.
            uint32_t now = TickCount();
            KickSlot(&SlotTable[ChooseSlotToEvict(lastActivityTicks, now)]);
            CountConnectionEvicted();
        }
        // Wait, holding no lock, until some slot has been released; the count only signals that,
        // so it goes straight back.
        AcquireSemaphore(&FreeSlotSemaphore);
        ReleaseSemaphore(&FreeSlotSemaphore);
    }
}

void ReleaseSlot(ConnectionSlot* slot)
{
    SocketHandle socket;
    {
        std::lock_guard<std::recursive_mutex> hold(slot->lock);
        socket = slot->clientSocket;
        slot->clientSocket = kNoSocket;
    }
    ObserveConnectionClosed(socket, WireCloser::kServer);
    int error = CloseSocket(socket);
    if (error != 0) {
        LogSocketError("Unable to close socket", error);
    } else {
        LogEvent("Socket %d closed", socket);
    }
    ReleaseSemaphore(&FreeSlotSemaphore);
}
