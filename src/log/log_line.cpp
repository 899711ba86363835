#include "log/log_line.h"

#include <cstdio>

#include "platform/clock.h"

namespace {

constexpr int kLogLineBufferSize = 512;
constexpr int kMaxMessageCharacters = 496;   // what fits after the stamp and the tab

}  // namespace

int FormatLogLine(char* line, int hour, int minute, int second, int millisecond, const char* message)
{
    // The precision keeps the message's first 496 characters, so a line never exceeds 509.
    int length = std::snprintf(line, kLogLineBufferSize, "%02d:%02d:%02d.%03d\t%.496s", hour, minute, second,
                               millisecond, message);
    static_assert(kMaxMessageCharacters == 496, "the format's precision is written out above");
    return length < 0 ? 0 : length;
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
