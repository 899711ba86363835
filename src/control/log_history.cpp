#include "control/log_history.h"

#include <cstring>

#include "log/event_log.h"

namespace {

SequenceRing<LoggedLine> History;

// The innermost capture of this thread, if any.
thread_local ThreadLogCapture* ThreadCapture = nullptr;

// Set with the observer at the first opening: the log reads the observer without a lock, so it is
// written once, before other threads log, and never again.
bool ObserverSet = false;

// The log observer: called on the thread that logs, with no lock of the caller's held.
void KeepLoggedMessage(const char* message)
{
    const TimeOfDay time = LocalTimeOfDay();
    History.Add([&](LoggedLine& line) {
        line.time = time;
        std::strncpy(line.text, message, sizeof line.text - 1);
        line.text[sizeof line.text - 1] = '\0';
    });
    if (ThreadCapture != nullptr) {
        ThreadCapture->Append(message);
    }
}

}  // namespace

SequenceRing<LoggedLine>& LogHistory()
{
    return History;
}

bool OpenLogHistory()
{
    if (!History.Open(kLogHistoryCapacity)) {
        return false;
    }
    if (!ObserverSet) {
        SetLogObserver(KeepLoggedMessage);
        ObserverSet = true;
    }
    return true;
}

ThreadLogCapture::ThreadLogCapture() : outer_(ThreadCapture)
{
    ThreadCapture = this;
}

ThreadLogCapture::~ThreadLogCapture()
{
    ThreadCapture = outer_;
}

void ThreadLogCapture::Append(const char* message)
{
    // The log's callers cannot take an exception; a capture that cannot grow keeps what it has.
    try {
        text_ += text_.empty() ? "" : "; ";
        text_ += message;
    } catch (...) {
    }
}
