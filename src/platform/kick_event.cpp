#include "platform/kick_event.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

int CreateKickEvent(KickEvent* kick)
{
    kick->fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (kick->fd < 0) {
        return errno;
    }
    SetKickEvent(kick);
    return 0;
}

void CloseKickEvent(KickEvent* kick)
{
    if (kick->fd >= 0) {
        close(kick->fd);
        kick->fd = -1;
    }
    kick->signalled.store(true, std::memory_order_release);
}

void SetKickEvent(KickEvent* kick)
{
    // The flag first: a client thread that wakes from poll() on the eventfd finds it already set.
    kick->signalled.store(true, std::memory_order_release);
    uint64_t one = 1;
    ssize_t written = write(kick->fd, &one, sizeof one);
    (void)written;   // a full counter (never reached) still leaves the eventfd readable
}

void ResetKickEvent(KickEvent* kick)
{
    uint64_t count = 0;
    ssize_t drained = read(kick->fd, &count, sizeof count);   // non-blocking: nothing to drain is fine
    (void)drained;
    kick->signalled.store(false, std::memory_order_release);
}
