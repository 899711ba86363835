#include "line_queue.h"

#include <cstring>

bool PushLine(LineQueue* queue, const char* line, int length)
{
    if (length > kQueuedLineSize) {
        length = kQueuedLineSize;
    }
    std::lock_guard<std::mutex> hold(queue->guard);
    if (queue->waiting == kQueuedLineCapacity) {
        ++queue->dropped;
        return false;
    }
    int slot = (queue->oldest + queue->waiting) % kQueuedLineCapacity;
    std::memcpy(queue->lines[slot], line, static_cast<size_t>(length));
    queue->lengths[slot] = length;
    ++queue->waiting;
    queue->changed.notify_one();
    return true;
}

int TakeLines(LineQueue* queue, char* batch, int batchSize, uint64_t* dropped)
{
    std::unique_lock<std::mutex> hold(queue->guard);
    queue->changed.wait(hold, [queue] { return queue->waiting > 0 || queue->dropped > 0 || queue->closing; });
    int used = 0;
    while (queue->waiting > 0 && used + queue->lengths[queue->oldest] <= batchSize) {
        int length = queue->lengths[queue->oldest];
        std::memcpy(batch + used, queue->lines[queue->oldest], static_cast<size_t>(length));
        used += length;
        queue->oldest = (queue->oldest + 1) % kQueuedLineCapacity;
        --queue->waiting;
    }
    *dropped = 0;
    if (queue->waiting == 0) {
        *dropped = queue->dropped;
        queue->dropped = 0;
    }
    return used == 0 && *dropped == 0 ? -1 : used;
}

void CloseLineQueue(LineQueue* queue)
{
    std::lock_guard<std::mutex> hold(queue->guard);
    queue->closing = true;
    queue->changed.notify_one();
}
