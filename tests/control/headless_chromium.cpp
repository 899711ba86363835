#include "control/headless_chromium.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using Json = nlohmann::json;
using std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kCloseBound{5000};

int MillisecondsUntil(steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the process to end, at most until `deadline`; true once it has been reaped.
bool Reaped(pid_t pid, steady_clock::time_point deadline)
{
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR)) {
            return true;
        }
        if (steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

bool HeadlessChromium::Start()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "parvane-chromium-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        problem_ = "no temporary folder for the browser's profile";
        return false;
    }
    profile_ = pattern;
    const std::vector<std::string> arguments = {
        "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--remote-debugging-pipe", "--user-data-dir=" + profile_ + "/profile", "about:blank"};
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const std::string log = profile_ + "/browser.log";

    int toBrowser[2];
    int fromBrowser[2];
    if (pipe2(toBrowser, O_CLOEXEC) != 0) {
        problem_ = "no pipe for the browser";
        return false;
    }
    if (pipe2(fromBrowser, O_CLOEXEC) != 0) {
        close(toBrowser[0]);
        close(toBrowser[1]);
        problem_ = "no pipe for the browser";
        return false;
    }
    // A write to a browser that has gone must fail with EPIPE, not end the test program.
    signal(SIGPIPE, SIG_IGN);
    pid_ = fork();
    if (pid_ == 0) {
        // Its own process group, so that its helper processes end with it.
        setpgid(0, 0);
        signal(SIGPIPE, SIG_DFL);
        // Moved clear of 3 and 4 first, which either pipe end may occupy.
        const int commands = fcntl(toBrowser[0], F_DUPFD, 10);
        const int answers = fcntl(fromBrowser[1], F_DUPFD, 10);
        const int input = open("/dev/null", O_RDONLY);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (commands < 0 || answers < 0 || input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 ||
            dup2(output, 2) < 0 || dup2(commands, 3) < 0 || dup2(answers, 4) < 0) {
            _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toBrowser[0]);
    close(fromBrowser[1]);
    commands_ = toBrowser[1];
    answers_ = fromBrowser[0];
    if (pid_ < 0) {
        problem_ = "the browser could not be started";
        return false;
    }
    return true;
}

HeadlessChromium::~HeadlessChromium()
{
    if (pid_ > 0) {
        const auto deadline = steady_clock::now() + kCloseBound;
        if (answers_ >= 0) {
            Call("Browser.close", Json::object(), "", deadline);
        }
        if (!Reaped(pid_, deadline)) {
            kill(pid_, SIGKILL);
            Reaped(pid_, steady_clock::now() + kCloseBound);
        }
        // Helpers that outlived the browser (there should be none).
        kill(-pid_, SIGKILL);
    }
    if (commands_ >= 0) {
        close(commands_);
    }
    if (answers_ >= 0) {
        close(answers_);
    }
    if (!profile_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
    }
}

Json HeadlessChromium::NextMessage(steady_clock::time_point deadline)
{
    for (;;) {
        const size_t end = received_.find('\0');
        if (end != std::string::npos) {
            Json message = Json::parse(received_.substr(0, end), nullptr, false);
            received_.erase(0, end + 1);
            return message.is_discarded() ? Json() : message;
        }
        pollfd ready{answers_, POLLIN, 0};
        const int polled = poll(&ready, 1, MillisecondsUntil(deadline));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return Json();
        }
        char buffer[65536];
        const ssize_t count = read(answers_, buffer, sizeof buffer);
        if (count <= 0) {
            return Json();
        }
        received_.append(buffer, static_cast<size_t>(count));
    }
}

Json HeadlessChromium::Call(const std::string& method, const Json& params, const std::string& session,
                            steady_clock::time_point deadline)
{
    const int id = nextId_++;
    Json command{{"id", id}, {"method", method}, {"params", params}};
    if (!session.empty()) {
        command["sessionId"] = session;
    }
    std::string text = command.dump();
    text.push_back('\0');
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t count = write(commands_, text.data() + sent, text.size() - sent);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            problem_ = method + ": the browser has gone" + LogTail();
            return Json();
        }
        sent += static_cast<size_t>(count);
    }
    for (;;) {
        Json message = NextMessage(deadline);
        if (message.is_null()) {
            problem_ = method + ": no answer from the browser in time" + LogTail();
            return Json();
        }
        if (message.value("id", 0) != id) {
            events_.push_back(std::move(message));
            continue;
        }
        if (message.contains("error")) {
            problem_ = method + ": " + message["error"].dump();
            return Json();
        }
        return message.value("result", Json::object());
    }
}

bool HeadlessChromium::WaitForEvent(const std::string& method, const std::string& session,
                                    steady_clock::time_point deadline)
{
    auto matches = [&](const Json& event) {
        return event.value("method", "") == method && event.value("sessionId", "") == session;
    };
    for (;;) {
        for (auto event = events_.begin(); event != events_.end(); ++event) {
            if (matches(*event)) {
                events_.erase(event);
                return true;
            }
        }
        Json message = NextMessage(deadline);
        if (message.is_null()) {
            problem_ = "no " + method + " from the browser in time" + LogTail();
            return false;
        }
        events_.push_back(std::move(message));
    }
}

bool HeadlessChromium::Open(const std::string& url, std::chrono::milliseconds limit)
{
    const auto deadline = steady_clock::now() + limit;
    const Json target = Call("Target.createTarget", {{"url", "about:blank"}}, "", deadline);
    if (target.is_null()) {
        return false;
    }
    const Json attached =
        Call("Target.attachToTarget", {{"targetId", target.value("targetId", "")}, {"flatten", true}}, "", deadline);
    if (attached.is_null()) {
        return false;
    }
    session_ = attached.value("sessionId", "");
    if (Call("Page.enable", Json::object(), session_, deadline).is_null()) {
        return false;
    }
    const Json navigated = Call("Page.navigate", {{"url", url}}, session_, deadline);
    if (navigated.is_null()) {
        return false;
    }
    if (navigated.contains("errorText")) {
        problem_ = url + ": " + navigated["errorText"].get<std::string>();
        return false;
    }
    return WaitForEvent("Page.loadEventFired", session_, deadline);
}

Json HeadlessChromium::Evaluate(const std::string& expression, std::chrono::milliseconds limit)
{
    const Json answer = Call("Runtime.evaluate",
                             {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}}, session_,
                             steady_clock::now() + limit);
    if (answer.is_null()) {
        return Json();
    }
    if (answer.contains("exceptionDetails")) {
        const Json& details = answer["exceptionDetails"];
        problem_ = details.contains("exception") ? details["exception"].value("description", details.dump())
                                                 : details.dump();
        return Json();
    }
    return answer["result"].value("value", Json());
}

std::string HeadlessChromium::LogTail() const
{
    std::ifstream file(profile_ + "/browser.log");
    std::stringstream text;
    text << file.rdbuf();
    const std::string log = text.str();
    return log.empty() ? "" : "; the browser's output ends:\n" + log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
}
