#include "log/event_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log/winsock_error_text.h"
#include "platform/winsock_error.h"

namespace {

// Written once before any other thread can log, read without a lock afterwards.
LogTarget* CurrentLogTarget = nullptr;
LogObserver CurrentLogObserver = nullptr;

// Only ever added to; relaxed, since nothing else is ordered by it.
std::atomic<uint64_t> DroppedLogLines{0};

constexpr int kMessageBufferSize = 512;      // 511 characters and the terminator
constexpr int kErrorTextBufferSize = 256;

}  // namespace

void SetLogTarget(LogTarget* target)
{
    CurrentLogTarget = target;
}

void SetLogObserver(LogObserver observer)
{
    CurrentLogObserver = observer;
}

void CountDroppedLogLines(uint64_t count)
{
    DroppedLogLines.fetch_add(count, std::memory_order_relaxed);
}

uint64_t DroppedLogLineCount()
{
    return DroppedLogLines.load(std::memory_order_relaxed);
}

void LogEvent(const char* format, ...)
{
    // Formatted on the caller's stack: the target takes the text before this call returns.
    char message[kMessageBufferSize];
    va_list values;
    va_start(values, format);
    int length = std::vsnprintf(message, sizeof message, format, values);
    va_end(values);
    if (length < 0) {
        message[0] = '\0';
    }
    if (CurrentLogTarget != nullptr) {
        CurrentLogTarget->TakeMessage(message);
    }
    if (CurrentLogObserver != nullptr) {
        CurrentLogObserver(message);
    }
}

void LogSystemError(const char* what, int number)
{
    LogEvent("ERROR: %s : %d", what, number);
}

void LogSocketError(const char* what, int number)
{
    char text[kErrorTextBufferSize] = {};
    std::strncpy(text, WinSockErrorText(number), sizeof text - 1);
    // An error that the WinSock table does not know is still named, in the system's words.
    if (text[0] == '\0') {
        SystemErrorText(number, text, sizeof text);
    }
    LogEvent("ERROR: %s : %s", what, text);
}
