#pragma once

// Capacity of the event log view: the 501st line removes the oldest.
inline constexpr int kMaxLogLines = 500;

// The view that shows the log and keeps its newest lines: the console's list box.
class LogView {
public:
    virtual void AddLine(const char* line) = 0;
    virtual int LineCount() = 0;
    virtual void DeleteFirstLine() = 0;

protected:
    ~LogView() = default;
};

// Stamps the message with the local time of day ("%02d:%02d:%02d.%03d\t" and at most 496
// characters of the message), adds it to the view and removes the oldest line past 500.
void AppendLogLine(LogView* view, const char* message);

// The line AppendLogLine builds, into a buffer of at least 512 bytes; returns its length (at most
// 509, and never more than 511). The headless server stamps its lines with it too.
int FormatLogLine(char* line, int hour, int minute, int second, int millisecond, const char* message);
