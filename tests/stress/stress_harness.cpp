#include "stress_harness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int> Failures{0};
std::mutex PrintLock;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HH:MM:SS.mmm<tab>": the stamp the headless server puts before every message.
bool HasLogStamp(const std::string& line)
{
    static const char kShape[] = "00:00:00.000\t";
    if (line.size() < sizeof kShape - 1) {
        return false;
    }
    for (size_t i = 0; i < sizeof kShape - 1; ++i) {
        if (kShape[i] == '0' ? !IsDigit(line[i]) : line[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

double StressScale()
{
    const char* text = std::getenv("PARVANE_STRESS_SCALE");
    if (text == nullptr || *text == '\0') {
        return 1.0;
    }
    double scale = std::atof(text);
    return scale > 0 ? scale : 1.0;
}

int Scaled(int count, int minimum)
{
    int scaled = static_cast<int>(count * StressScale());
    return scaled < minimum ? minimum : scaled;
}

int64_t NowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Fail(const char* format, ...)
{
    char text[1024];
    va_list values;
    va_start(values, format);
    std::vsnprintf(text, sizeof text, format, values);
    va_end(values);
    int failures = ++Failures;
    // The first failures tell the story; thousands of the same line would bury it.
    if (failures <= 40) {
        std::lock_guard<std::mutex> hold(PrintLock);
        std::fprintf(stderr, "CHECK FAILED: %s\n", text);
    }
}

int FailureCount()
{
    return Failures.load();
}

int FinishScenario(const char* scenario, const std::string& figure)
{
    int failures = FailureCount();
    std::lock_guard<std::mutex> hold(PrintLock);
    std::printf("FIGURE %s: %s\n", scenario, figure.c_str());
    std::printf("RESULT %s: %s (%d failed checks)\n", scenario, failures == 0 ? "PASS" : "FAIL", failures);
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}

uint16_t PickFreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    uint16_t port = 0;
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

void LogBook::Add(const std::string& message)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        lines_.push_back(message);
    }
    changed_.notify_all();
}

void LogBook::Clear()
{
    std::lock_guard<std::mutex> hold(lock_);
    lines_.clear();
}

std::vector<std::string> LogBook::Lines() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return lines_;
}

size_t LogBook::Size() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return lines_.size();
}

int LogBook::Count(const std::string& prefix, size_t from) const
{
    std::lock_guard<std::mutex> hold(lock_);
    int count = 0;
    for (size_t i = from; i < lines_.size(); ++i) {
        count += StartsWith(lines_[i], prefix) ? 1 : 0;
    }
    return count;
}

bool LogBook::WaitUntil(const std::function<bool(const std::vector<std::string>&)>& ready,
                        int timeoutMs) const
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return ready(lines_); });
}

long LogBook::WaitForLine(const std::string& prefix, size_t from, int timeoutMs) const
{
    long found = -1;
    WaitUntil(
        [&](const std::vector<std::string>& lines) {
            for (size_t i = from; i < lines.size(); ++i) {
                if (StartsWith(lines[i], prefix)) {
                    found = static_cast<long>(i);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

ConnectionLedger ReadLedger(const std::vector<std::string>& lines, size_t from, size_t to)
{
    ConnectionLedger ledger;
    std::map<int, uint16_t> portOfSocket;
    for (size_t i = from; i < lines.size() && i < to; ++i) {
        const char* line = lines[i].c_str();
        int socket = 0;
        unsigned port = 0;
        char address[32];
        if (std::sscanf(line, "Connection accepted on socket %d from %31[0-9.]:%u", &socket, address, &port) == 3) {
            ++ledger.accepted;
            ++ledger.acceptedPerSocket[socket];
            portOfSocket[socket] = static_cast<uint16_t>(port);
            ++ledger.acceptedPorts[static_cast<uint16_t>(port)];
        } else if (std::sscanf(line, "Socket %d closed", &socket) == 1 && StartsWith(line, "Socket ")) {
            ++ledger.closed;
            ++ledger.closedPerSocket[socket];
        } else if (std::sscanf(line, "Client on socket %d disconnected", &socket) == 1) {
            ++ledger.disconnected;
            ledger.endingByPort[portOfSocket[socket]] = "disconnected";
        } else if (std::sscanf(line, "The request from client on socket %d had invalid Protocol ID", &socket) == 1 &&
                   std::strstr(line, "invalid Protocol ID") != nullptr) {
            ++ledger.invalidProtocol;
            ledger.endingByPort[portOfSocket[socket]] = "protocol";
        } else if (std::sscanf(line, "The request from client on socket %d had invalid Command Length", &socket) == 1 &&
                   std::strstr(line, "invalid Command Length") != nullptr) {
            ++ledger.invalidLength;
            ledger.endingByPort[portOfSocket[socket]] = "length";
        } else if (StartsWith(line, "ERROR: send() : ") ||
                   StartsWith(line, "ERROR: Failed to send complete response to client.")) {
            // A send that ran out of time after part of the response went out is a partial send.
            ++ledger.sendErrors;
        } else if (StartsWith(line, "ERROR: WSARecv() : ") || StartsWith(line, "ERROR: recv() : ")) {
            ++ledger.receiveErrors;
        } else if (StartsWith(line, "ERROR: ")) {
            ++ledger.otherErrors;
        }
    }
    return ledger;
}

ServerProcess::~ServerProcess()
{
    Reset();
}

void ServerProcess::Reset()
{
    child_.reset();   // kills (by PID) and reaps a child still running
    if (reader_.joinable()) {
        reader_.join();
    }
    unstamped_ = 0;
    log.Clear();
}

bool ServerProcess::Spawn(const std::string& path, const std::vector<std::string>& args, long fdLimit)
{
    ChildOptions options;
    options.errors = ChildErrors::kPassedThrough;
    options.descriptorLimit = fdLimit;
    child_ = std::make_unique<ChildProcess>();
    if (!child_->Start(path, args, options)) {
        child_.reset();
        return false;
    }
    reader_ = std::thread([this, fd = child_->TakeOutput()] { ReadOutput(fd); });
    return true;
}

void ServerProcess::ReadOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        pending.append(buffer, static_cast<size_t>(count));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (HasLogStamp(line)) {
                log.Add(line.substr(13));
            } else {
                ++unstamped_;
                std::fprintf(stderr, "server printed an unstamped line: %s\n", line.c_str());
                log.Add(line);
            }
        }
    }
    close(fd);
}

bool ServerProcess::Running()
{
    return child_ != nullptr && child_->Running();
}

void ServerProcess::Signal(int signalNumber)
{
    if (child_ != nullptr) {
        child_->Signal(signalNumber);
    }
}

bool ServerProcess::WaitExit(int timeoutMs, int* status)
{
    int exitStatus = child_ != nullptr ? child_->WaitForExit(std::chrono::milliseconds(timeoutMs)) : -1;
    if (exitStatus < 0) {
        return false;
    }
    if (reader_.joinable()) {
        reader_.join();   // the child's output ends with its exit; every line is in the log now
    }
    if (status != nullptr) {
        *status = exitStatus;
    }
    return true;
}

int CountDirectoryEntries(const std::string& path)
{
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(directory);
    return count;
}

int ServerProcess::OpenDescriptors() const
{
    return CountDirectoryEntries("/proc/" + std::to_string(Pid()) + "/fd");
}

int ServerProcess::HighestDescriptor() const
{
    DIR* directory = opendir(("/proc/" + std::to_string(Pid()) + "/fd").c_str());
    if (directory == nullptr) {
        return -1;
    }
    int highest = -1;
    while (dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            int number = std::atoi(entry->d_name);
            highest = number > highest ? number : highest;
        }
    }
    closedir(directory);
    return highest;
}

int ServerProcess::Threads() const
{
    return CountDirectoryEntries("/proc/" + std::to_string(Pid()) + "/task");
}

bool StartCliServer(ServerProcess* server, const std::string& cli, uint16_t* port,
                    const std::vector<std::string>& extraArgs, long fdLimit)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        uint16_t candidate = PickFreePort();
        std::vector<std::string> args = extraArgs;
        args.insert(args.end(), {"--bind", "127.0.0.1", "--port", std::to_string(candidate)});
        if (!server->Spawn(cli, args, fdLimit)) {
            Fail("could not start %s", cli.c_str());
            return false;
        }
        bool started = server->log.WaitUntil(
            [](const std::vector<std::string>& lines) {
                for (const std::string& line : lines) {
                    if (StartsWith(line, "Modbus Server started on ") || StartsWith(line, "ERROR: ")) {
                        return true;
                    }
                }
                return false;
            },
            10000);
        if (started && server->log.Count("Modbus Server started on ") == 1) {
            *port = candidate;
            return true;
        }
        bool portTaken = server->log.Count("ERROR: Unable to bind listen socket : WSAEADDRINUSE") > 0;
        int status = 0;
        if (!server->WaitExit(5000, &status)) {
            server->Signal(SIGKILL);
            server->WaitExit(5000, &status);
        }
        if (!portTaken) {
            Fail("parvane-cli did not start (%s)", started ? "an error was logged" : "no start line in 10 s");
            for (const std::string& line : server->log.Lines()) {
                std::fprintf(stderr, "  log: %s\n", line.c_str());
            }
            return false;
        }
        // Someone took the port between our probe and the server's bind: try another one.
        server->Reset();
    }
    Fail("no free port after five attempts");
    return false;
}

long StopCliServer(ServerProcess* server, int timeoutMs, int signalNumber)
{
    int64_t start = NowMilliseconds();
    server->Signal(signalNumber);
    int status = 0;
    if (!server->WaitExit(timeoutMs, &status)) {
        Fail("parvane-cli did not exit within %d ms of signal %d", timeoutMs, signalNumber);
        server->Signal(SIGKILL);
        server->WaitExit(5000, &status);
        return -1;
    }
    long elapsed = static_cast<long>(NowMilliseconds() - start);
    bool ok = true;
    if (status != 0) {
        Fail("parvane-cli ended with status %d (128 + N: signal N) after signal %d", status, signalNumber);
        ok = false;
    }
    std::vector<std::string> lines = server->log.Lines();
    if (lines.empty() || lines.back() != "Modbus Server stopped") {
        Fail("the last log line after the stop signal is \"%s\", not \"Modbus Server stopped\"",
             lines.empty() ? "" : lines.back().c_str());
        ok = false;
    }
    return ok ? elapsed : -1;
}

std::string CliPathFromArgs(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--cli") == 0) {
            return argv[i + 1];
        }
    }
    return "";
}

bool HasArg(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], flag) == 0) {
            return true;
        }
    }
    return false;
}
