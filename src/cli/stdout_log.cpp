#include "stdout_log.h"

#include <cstdio>
#include <mutex>

#include "log/log_line.h"

namespace {

// A stream keeps every line: nothing is ever removed from it, so it reports no count to cap.
class StdoutView : public LogView {
public:
    void AddLine(const char* line) override
    {
        std::fputs(line, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    int LineCount() override { return 0; }
    void DeleteFirstLine() override {}
};

class StdoutTarget : public LogTarget {
public:
    void TakeMessage(const char* message) override
    {
        // One line at a time, in the order the messages arrive, as the list's window thread does.
        std::lock_guard<std::mutex> hold(guard_);
        AppendLogLine(&view_, message);
    }

private:
    std::mutex guard_;   // guards view_ (the stream)
    StdoutView view_;
};

StdoutTarget Target;

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

LogTarget* StdoutLogTarget()
{
    return &Target;
}

void TraceTransaction(int socket, const uint8_t* request, uint16_t requestLength, const uint8_t* response,
                      uint16_t responseLength)
{
    TraceAdu(socket, "request", request, requestLength);
    TraceAdu(socket, "response", response, responseLength);
}
