#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/sequence_ring.h"
#include "platform/clock.h"

// Every message the event log takes while the control interface runs, numbered from 1 and stamped
// with the local time when it was logged; the newest kLogHistoryCapacity are kept.

inline constexpr size_t kLogHistoryCapacity = 10000;
inline constexpr size_t kLogTextSize = 512;   // the log's longest message and its terminator

struct LoggedLine {
    uint64_t seq;
    TimeOfDay time;
    char text[kLogTextSize];
};

SequenceRing<LoggedLine>& LogHistory();

// Opens the history (its storage allocated here, once) and puts the log observer that feeds it in
// place; call it before other threads log. False when the storage cannot be had. The history
// stops and closes through LogHistory().
bool OpenLogHistory();

// While one exists, the messages that its own thread logs are also kept in Text(), joined by "; ":
// for an answer that must carry what a call it made has logged. Needs the history's observer.
class ThreadLogCapture {
public:
    ThreadLogCapture();
    ~ThreadLogCapture();
    ThreadLogCapture(const ThreadLogCapture&) = delete;
    ThreadLogCapture& operator=(const ThreadLogCapture&) = delete;

    const std::string& Text() const { return text_; }
    void Append(const char* message);

private:
    std::string text_;
    ThreadLogCapture* outer_;
};
