#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "log/event_log.h"

// A log target for tests: keeps every message, in arrival order, and lets a test wait (bounded)
// for a message to appear.
class CapturingLogTarget : public LogTarget {
public:
    void TakeMessage(const char* message) override
    {
        std::lock_guard<std::mutex> hold(guard_);
        messages_.emplace_back(message);
        arrived_.notify_all();
    }

    std::vector<std::string> Messages()
    {
        std::lock_guard<std::mutex> hold(guard_);
        return messages_;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> hold(guard_);
        messages_.clear();
    }

    // Waits at most `milliseconds` until some message equals `text` (or starts with it when
    // `prefixOnly`); true when it came.
    bool WaitFor(const std::string& text, int milliseconds = 5000, bool prefixOnly = false)
    {
        std::unique_lock<std::mutex> hold(guard_);
        return arrived_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
            for (const std::string& message : messages_) {
                if (prefixOnly ? message.rfind(text, 0) == 0 : message == text) {
                    return true;
                }
            }
            return false;
        });
    }

    // Waits at most `milliseconds` for a message matching `pattern`; its first capture, or "" on time-out.
    std::string WaitForMatch(const std::regex& pattern, int milliseconds = 5000)
    {
        std::string capture;
        std::unique_lock<std::mutex> hold(guard_);
        arrived_.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
            for (const std::string& message : messages_) {
                std::smatch match;
                if (std::regex_match(message, match, pattern)) {
                    capture = match.size() > 1 ? match[1].str() : message;
                    return true;
                }
            }
            return false;
        });
        return capture;
    }

    int Count(const std::string& text)
    {
        std::lock_guard<std::mutex> hold(guard_);
        int count = 0;
        for (const std::string& message : messages_) {
            count += message == text ? 1 : 0;
        }
        return count;
    }

private:
    std::mutex guard_;
    std::condition_variable arrived_;
    std::vector<std::string> messages_;
};
