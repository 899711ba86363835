#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Log lines on their way to a slow writer: fixed storage, first in first out. A full queue refuses
// lines and counts them, so the thread that logs never waits for the writer.

inline constexpr int kQueuedLineCapacity = 1024;
inline constexpr int kQueuedLineSize = 512;   // a stamped log line (at most 509 characters) and its newline

struct LineQueue {
    std::mutex guard;   // guards every field below
    std::condition_variable changed;
    char lines[kQueuedLineCapacity][kQueuedLineSize];
    int lengths[kQueuedLineCapacity];
    int oldest = 0;          // index of the oldest line waiting
    int waiting = 0;         // lines waiting
    uint64_t dropped = 0;    // lines refused since the writer last took the count
    bool closing = false;    // no more lines will come
};

// Adds a line (cut to kQueuedLineSize bytes); false, and the line counted as dropped, when the
// queue is full.
bool PushLine(LineQueue* queue, const char* line, int length);

// Waits until a line, a drop count or the close is there. Moves as many waiting lines as fit into
// `batch` (at least one: batchSize must be at least kQueuedLineSize) and answers their byte count;
// once that empties the queue, also hands over the drop count in *dropped and resets it. Answers -1
// when the queue is closing and nothing is left.
int TakeLines(LineQueue* queue, char* batch, int batchSize, uint64_t* dropped);

// No more lines will come: TakeLines answers -1 once the rest has been taken.
void CloseLineQueue(LineQueue* queue);
