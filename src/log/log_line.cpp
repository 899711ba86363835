#include "log/log_line.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"

namespace {

constexpr int kLogLineBufferSize = 512;
constexpr int kMaxMessageCharacters = 496;   // what fits after the stamp and the tab

}  // namespace

int FormatLogLine(char* line, int hour, int minute, int second, int millisecond, const char* message)
{
    // "%.496s" keeps the first 496 characters of the message, so that the stamped line fits in
    // 512 bytes with room to spare.
    int length = std::snprintf(line, kLogLineBufferSize, "%02d:%02d:%02d.%03d\t%.496s", hour, minute, second,
                               millisecond, message);
    static_assert(kMaxMessageCharacters == 496, "the format's precision is written out above");
    // What is in the buffer, even if a stamp field were ever wider than its two or three digits.
    return length < 0 ? 0 : std::min(length, kLogLineBufferSize - 1);
}

void AppendLogLine(LogView* view, const char* message)
{
    TimeOfDay now = LocalTimeOfDay();
    char line[kLogLineBufferSize];
    FormatLogLine(line, now.hour, now.minute, now.second, now.millisecond, message);
    view->AddLine(line);
    // One append removes at most one line, so a full view stays at kMaxLogLines.
    if (view->LineCount() > kMaxLogLines) {
        view->DeleteFirstLine();
    }
}
