#pragma once

#include <atomic>

// A manual-reset flag; signalled means "this connection must end". An atomic so that the client
// thread can test it before every receive with a load, not a syscall. Setting it does not wake a
// thread blocked in a receive: whoever kicks a connection also shuts down the receiving side of its
// socket (ShutdownReceive), which the blocked receive sees at once. That shutdown also wakes a send
// blocked in the same socket, which may then complete early; receiverMayBlock limits it to a thread
// that is about to block or is blocked in a receive.
struct KickEvent {
    std::atomic<bool> signalled{false};
    // Set by the receiving thread before it tests `signalled` and blocks, cleared after the receive.
    // Both are sequentially consistent so that of a kick and a receiver that race, at least one
    // sees the other's store: the receiver sees the kick, or the kicker sees the receiver.
    std::atomic<bool> receiverMayBlock{false};
};

// Set and reset come from one thread only (the listener), so they never race each other.
inline void SetKickEvent(KickEvent* kick)
{
    kick->signalled.store(true, std::memory_order_seq_cst);
}

inline void ResetKickEvent(KickEvent* kick)
{
    kick->signalled.store(false, std::memory_order_release);
}

inline bool IsKickSignalled(const KickEvent* kick)
{
    return kick->signalled.load(std::memory_order_seq_cst);
}
