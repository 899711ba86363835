#include "server/wire_observer.h"

#include "log/event_log.h"

std::atomic<const WireObserver*> WireObserverInForce{nullptr};

void SetWireObserver(const WireObserver* observer)
{
    WireObserverInForce.store(observer, std::memory_order_release);
}

void ObserveConnectionOpened(SocketHandle socket, const SocketAddress& peer)
{
    const WireObserver* observer = WireObserverInForce.load(std::memory_order_relaxed);
    if (observer == nullptr) {
        return;
    }
    SocketAddress local{};
    if (int error = LocalAddress(socket, &local); error != 0) {
        // Without its own address the connection cannot be shown; it is served all the same.
        LogSocketError("getsockname()", error);
        return;
    }
    observer->opened(socket, local, peer);
}
