#pragma once

#include <cstdint>

// Where log messages go. The console delivers them to its list on the window thread; the headless
// server queues them for standard output. TakeMessage returns only once the target holds the message
// (appended, or copied into its queue), so the caller's stack buffer needs no other owner and one
// thread's lines keep order.
class LogTarget {
public:
    virtual void TakeMessage(const char* message) = 0;

protected:
    ~LogTarget() = default;
};

// Set once, before any thread but the caller's can log; never cleared while others run.
void SetLogTarget(LogTarget* target);

// A second receiver of every message, after the target: the control interface's log history.
// Called on the thread that logs, with the caller's locks as LogEvent allows (none). Set like the
// target, before other threads exist; nullptr (the default) costs LogEvent one test.
using LogObserver = void (*)(const char* message);
void SetLogObserver(LogObserver observer);

// Lines that the program's log view had to drop (the headless server's stalled standard output),
// counted over the whole run for the metrics. Any thread.
void CountDroppedLogLines(uint64_t count);
uint64_t DroppedLogLineCount();

// printf-style; at most 511 characters reach the target. Never call with a table or slot lock held.
void LogEvent(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "ERROR: <what> : <number>" with the system's error number.
void LogSystemError(const char* what, int number);

// "ERROR: <what> : <WinSock error text>", the text looked up by WinSock error number. A number without
// a WinSock text gets the system's text for it (e.g. "71 Protocol error"), or none when the system has
// none either.
void LogSocketError(const char* what, int number);
