#include "stdout_log.h"

#include <cinttypes>
#include <cstdio>

#include "line_queue.h"
#include "log/log_line.h"
#include "platform/clock.h"
#include "platform/detached_thread.h"
#include "platform/manual_reset_event.h"
#include "platform/standard_output.h"

namespace {

// What one write to standard output carries at most: the lines waiting at that moment, so that a
// busy log costs one write per batch rather than one per line.
constexpr int kBatchSize = 16 * 1024;

LineQueue Queue;
ThreadGroup WriterThreads;
ManualResetEvent WriterEnded;
// Used by the writer thread alone.
char Batch[kBatchSize];

// Stamps the line when the message arrives, on the thread that logs, so that a line written late
// still shows when its event happened.
class StdoutTarget : public LogTarget {
public:
    void TakeMessage(const char* message) override
    {
        TimeOfDay now = LocalTimeOfDay();
        char line[kQueuedLineSize];
        int length = FormatLogLine(line, now.hour, now.minute, now.second, now.millisecond, message);
        line[length++] = '\n';
        if (!PushLine(&Queue, line, length)) {
            CountDroppedLogLines(1);
        }
    }
};

StdoutTarget Target;

// The line that tells a reader how many lines it missed while standard output did not take them.
void WriteDroppedLine(uint64_t dropped)
{
    char message[96];
    std::snprintf(message, sizeof message, "Standard output was blocked: %" PRIu64 " log %s dropped", dropped,
                  dropped == 1 ? "line" : "lines");
    TimeOfDay now = LocalTimeOfDay();
    char line[kQueuedLineSize];
    int length = FormatLogLine(line, now.hour, now.minute, now.second, now.millisecond, message);
    line[length++] = '\n';
    WriteStandardOutput(line, length);
}

// Writes the queued lines until the queue closes. A write that fails (the reader has gone) loses
// its lines; a write that waits (the reader has stopped reading) holds up only this thread.
void* WriteQueuedLines(void*)
{
    for (;;) {
        uint64_t dropped = 0;
        int length = TakeLines(&Queue, Batch, kBatchSize, &dropped);
        if (length < 0) {
            break;
        }
        WriteStandardOutput(Batch, length);
        if (dropped > 0) {
            WriteDroppedLine(dropped);
        }
    }
    LeaveThreadGroup(&WriterThreads);
    // The last act: once the stop sees it, nothing of this thread touches shared state again.
    SetEvent(&WriterEnded);
    return nullptr;
}

// "Socket %d request: 00 01 ..." within the 511 characters a message may have: 260 bytes need
// 780, so a long ADU is shown in part, ending in "...".
void TraceAdu(int socket, const char* direction, const uint8_t* adu, uint16_t length)
{
    char text[512];
    int used = std::snprintf(text, sizeof text, "Socket %d %s:", socket, direction);
    constexpr int kRoomForEllipsis = 4;
    for (uint16_t index = 0; index < length; ++index) {
        if (used + 3 + kRoomForEllipsis >= static_cast<int>(sizeof text)) {
            std::snprintf(text + used, sizeof text - static_cast<size_t>(used), " ...");
            break;
        }
        used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), " %02X", adu[index]);
    }
    LogEvent("%s", text);
}

}  // namespace

int StartStdoutLog()
{
    return StartDetachedThread(&WriterThreads, WriteQueuedLines, nullptr);
}

LogTarget* StdoutLogTarget()
{
    return &Target;
}

bool StopStdoutLog(int milliseconds)
{
    CloseLineQueue(&Queue);
    return WaitForEventFor(&WriterEnded, milliseconds);
}

void TraceTransaction(const TransactionView& transaction)
{
    TraceAdu(transaction.socket, "request", transaction.request, transaction.requestLength);
    TraceAdu(transaction.socket, "response", transaction.response, transaction.responseLength);
}
