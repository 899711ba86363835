#pragma once

#include <atomic>

// A manual-reset event that a client thread can wait on together with its socket; signalled means
// "this connection must end". Backed by an eventfd so that one poll() sees both, with an atomic flag
// beside it so that the client thread can test it before every receive with a load, not a syscall.
struct KickEvent {
    int fd = -1;
    std::atomic<bool> signalled{false};
};

// Creates the eventfd, signalled; 0 or the system's error number.
int CreateKickEvent(KickEvent* kick);
void CloseKickEvent(KickEvent* kick);

// Set and reset come from one thread only (the listener), so they never race each other.
void SetKickEvent(KickEvent* kick);
void ResetKickEvent(KickEvent* kick);

inline bool IsKickSignalled(const KickEvent* kick)
{
    return kick->signalled.load(std::memory_order_acquire);
}
