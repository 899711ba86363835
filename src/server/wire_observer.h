#pragma once

#include <atomic>
#include <cstdint>

#include "platform/socket.h"

// Who ended a connection's byte stream.
enum class WireCloser : uint8_t {
    kClient,   // the client's end of stream arrived; the server closes its side next
    kServer,   // the server closed the socket (after the client's end, or on its own: stop, eviction,
               // a framing violation, a failed send)
};

// An observer of the bytes that cross a client socket, told where they really cross it, so that it
// sees exactly what the client sent and got, whatever the request engine made of it. For one socket
// the calls come in order, from one thread at a time: opened on the listener thread once the
// connection has its slot, then received, sent and closed on its client thread. A connection ends
// with closed(kServer), before its socket is closed, so a socket number is never reused while an
// observer still knows it; closed(kClient) may come first. The observer takes its own lock and may
// not log while holding it.
struct WireObserver {
    void (*opened)(SocketHandle socket, const SocketAddress& local, const SocketAddress& peer);
    void (*received)(SocketHandle socket, const uint8_t* bytes, int count);
    void (*sent)(SocketHandle socket, const uint8_t* bytes, int count);
    void (*closed)(SocketHandle socket, WireCloser closer);
};

// The observer in force, or null (the default): then each call below costs one relaxed load. A
// relaxed load suffices because an observer is a constant record that exists before it is set and
// is never freed; whatever state it keeps is under its own lock.
extern std::atomic<const WireObserver*> WireObserverInForce;

// Sets or (with null) removes the observer at any time; connections that were open before it was set
// are seen from the middle on, and an observer may ignore sockets it never saw open.
void SetWireObserver(const WireObserver* observer);

// Called by the listener once an accepted connection is bound; reads the socket's own address only
// when someone observes.
void ObserveConnectionOpened(SocketHandle socket, const SocketAddress& peer);

inline void ObserveBytesReceived(SocketHandle socket, const uint8_t* bytes, int count)
{
    if (const WireObserver* observer = WireObserverInForce.load(std::memory_order_relaxed)) {
        observer->received(socket, bytes, count);
    }
}

inline void ObserveBytesSent(SocketHandle socket, const uint8_t* bytes, int count)
{
    if (const WireObserver* observer = WireObserverInForce.load(std::memory_order_relaxed)) {
        observer->sent(socket, bytes, count);
    }
}

inline void ObserveConnectionClosed(SocketHandle socket, WireCloser closer)
{
    if (const WireObserver* observer = WireObserverInForce.load(std::memory_order_relaxed)) {
        observer->closed(socket, closer);
    }
}
