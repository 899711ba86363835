#pragma once

// Debian's chromium, headless, driven over the DevTools protocol on a pipe (--remote-debugging-pipe:
// commands on descriptor 3, answers on 4, each message JSON ended by a NUL byte), so a test can load
// a page and run script in it as a person's clicks would. A fresh profile in a temporary folder;
// every wait bounded; the browser ended by its PID (and its helpers by its process group).

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class HeadlessChromium {
public:
    HeadlessChromium() = default;
    ~HeadlessChromium();
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;

    // Starts the browser with a blank page. False with Problem() saying why.
    bool Start();

    // Opens `url` in a new tab and waits for its load event. False with Problem() saying why.
    bool Open(const std::string& url, std::chrono::milliseconds limit);

    // Runs `expression` in the open tab, awaiting the promise it gives, and answers its value
    // (a string, number or plain object); null with Problem() set when it threw or timed out.
    nlohmann::json Evaluate(const std::string& expression, std::chrono::milliseconds limit);

    const std::string& Problem() const { return problem_; }

private:
    // Sends one command (to the tab when `session` is set) and answers its result; null with
    // problem_ set on an error or when no answer came in time. Events that arrive meanwhile are
    // kept for WaitForEvent.
    nlohmann::json Call(const std::string& method, const nlohmann::json& params, const std::string& session,
                        std::chrono::steady_clock::time_point deadline);
    bool WaitForEvent(const std::string& method, const std::string& session,
                      std::chrono::steady_clock::time_point deadline);
    // The next whole message; null when the pipe ended or the time ran out.
    nlohmann::json NextMessage(std::chrono::steady_clock::time_point deadline);
    std::string LogTail() const;

    pid_t pid_ = -1;
    int commands_ = -1;   // our end of the browser's descriptor 3
    int answers_ = -1;    // our end of the browser's descriptor 4
    std::string profile_;
    std::string received_;
    std::vector<nlohmann::json> events_;
    int nextId_ = 1;
    std::string session_;
    std::string problem_;
};
