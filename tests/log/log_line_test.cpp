#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <regex>
#include <string>

#include "log/log_line.h"

namespace {

// A list that behaves like the unsorted list box: appends at the end, deletes at the front.
class ListView : public LogView {
public:
    void AddLine(const char* line) override { lines.emplace_back(line); }
    int LineCount() override { return static_cast<int>(lines.size()); }
    void DeleteFirstLine() override
    {
        lines.pop_front();
        ++deletions;
    }
    std::deque<std::string> lines;
    int deletions = 0;
};

std::string Format(int hour, int minute, int second, int millisecond, const char* message)
{
    char line[512];
    int length = FormatLogLine(line, hour, minute, second, millisecond, message);
    EXPECT_EQ(length, static_cast<int>(std::strlen(line)));
    return line;
}

TEST(FormatLogLineTest, StampTabAndMessage)
{
    struct Case {
        int hour, minute, second, millisecond;
        const char* message;
        const char* line;
    } cases[] = {
        {9, 5, 3, 7, "Socket 120 closed", "09:05:03.007\tSocket 120 closed"},
        {0, 0, 0, 1, "Modbus Server stopped", "00:00:00.001\tModbus Server stopped"},   // just past midnight
        {23, 59, 59, 999, "", "23:59:59.999\t"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.hour, c.minute, c.second, c.millisecond, c.message), c.line);
    }
}

TEST(FormatLogLineTest, KeepsOnlyTheFirst496Characters)
{
    std::string message(511, 'a');
    message[495] = 'L';   // the last character kept
    message[496] = 'X';   // the first one cut
    std::string line = Format(12, 0, 0, 0, message.c_str());
    ASSERT_EQ(line.size(), 13u + 496u);   // 509: the longest line there can be
    EXPECT_EQ(line.back(), 'L');
    EXPECT_EQ(line.find('X'), std::string::npos);

    std::string exact(496, 'b');
    EXPECT_EQ(Format(1, 2, 3, 4, exact.c_str()), "01:02:03.004\t" + exact);
}

TEST(AppendLogLineTest, StampsWithLocalTime)
{
    ListView view;
    AppendLogLine(&view, "Socket 5 closed");
    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(view.lines[0], std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d\tSocket 5 closed)")))
        << view.lines[0];
}

TEST(AppendLogLineTest, The501stLineRemovesTheFirst)
{
    ListView view;
    for (int number = 1; number <= kMaxLogLines; ++number) {
        AppendLogLine(&view, std::to_string(number).c_str());
    }
    ASSERT_EQ(view.LineCount(), 500);
    EXPECT_EQ(view.deletions, 0);

    AppendLogLine(&view, "501");
    EXPECT_EQ(view.LineCount(), 500);
    EXPECT_EQ(view.deletions, 1);
    EXPECT_EQ(view.lines.front().substr(13), "2");
    EXPECT_EQ(view.lines.back().substr(13), "501");

    for (int number = 502; number <= 700; ++number) {
        AppendLogLine(&view, std::to_string(number).c_str());
    }
    EXPECT_EQ(view.LineCount(), 500);
    EXPECT_EQ(view.lines.front().substr(13), "201");
}

}  // namespace
