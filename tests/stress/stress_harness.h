#pragma once

// What every reliability scenario shares: counts scaled from the environment, the figure line,
// a failure tally, free loopback ports, the server's log as it arrives, and a child parvane-cli
// process with its descriptors and threads counted through /proc.

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

// Sanitized builds run the server several times slower. Time bounds that the server must keep get
// this much room on top there, so that they still catch a stop that hangs, not one that is slow
// only because every memory access is checked.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int kSanitizerSlackMs = 3000;
#else
inline constexpr int kSanitizerSlackMs = 0;
#endif

// PARVANE_STRESS_SCALE (default 1) multiplies every count, so sanitizer builds run the same
// scenarios shorter. Never less than `minimum`.
double StressScale();
int Scaled(int count, int minimum = 1);

// Monotonic milliseconds, for deadlines and stop times.
int64_t NowMilliseconds();

// Records a failed check (printed at once with the scenario's name) and counts it.
void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
int FailureCount();
#define STRESS_CHECK(condition, ...) \
    do {                              \
        if (!(condition)) {           \
            Fail(__VA_ARGS__);        \
        }                             \
    } while (0)

// Prints "FIGURE <scenario>: <text>" and "RESULT <scenario>: PASS|FAIL (n failed checks)";
// returns the process exit status.
int FinishScenario(const char* scenario, const std::string& figure);

// A port on 127.0.0.1 that was free a moment ago: bound with port 0 and read back.
uint16_t PickFreePort();

// The server's log messages in arrival order, time stamps removed. Thread-safe.
class LogBook {
public:
    void Add(const std::string& message);
    void Clear();
    std::vector<std::string> Lines() const;
    size_t Size() const;
    // Number of messages from index `from` on that start with `prefix`.
    int Count(const std::string& prefix, size_t from = 0) const;
    // Waits until `ready` holds for the messages, at most `timeoutMs`; true when it held.
    bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& ready, int timeoutMs) const;
    // Waits for a message from index `from` on that starts with `prefix`; its index, or -1.
    long WaitForLine(const std::string& prefix, size_t from, int timeoutMs) const;

private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// Which connection each log line speaks of: "Connection accepted on socket %d from %s" ties the
// socket number to the client's port until "Socket %d closed". A connection's own lines (a
// protocol violation, a disconnect) come before its socket is closed, so before the number can be
// handed out again, and are therefore always tied to the right client.
struct ConnectionLedger {
    int accepted = 0;
    int closed = 0;
    int disconnected = 0;
    int invalidProtocol = 0;
    int invalidLength = 0;
    int sendErrors = 0;          // "send()" failures and partial sends
    int receiveErrors = 0;       // any other "ERROR: " line naming a receive
    int otherErrors = 0;
    std::map<int, int> acceptedPerSocket;
    std::map<int, int> closedPerSocket;
    // client port -> the line that ended its connection ("disconnected", "protocol", "length")
    std::map<uint16_t, std::string> endingByPort;
    std::map<uint16_t, int> acceptedPorts;   // client port -> times accepted
    // Connections that were closed with no line of their own: kicked (evicted or stopped), or
    // ended by a send failure, which names no socket.
    int SilentCloses() const { return closed - disconnected - invalidProtocol - invalidLength; }
};
ConnectionLedger ReadLedger(const std::vector<std::string>& lines, size_t from = 0, size_t to = SIZE_MAX);

// A parvane-cli child: its standard output is read line by line into `log` (each line must carry
// the "HH:MM:SS.mmm<tab>" stamp); standard error is passed through.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();   // Reset()
    // Kills (by PID) a child still running, reaps it and forgets its log.
    void Reset();

    // fdLimit > 0 lowers RLIMIT_NOFILE in the child before exec.
    bool Spawn(const std::string& path, const std::vector<std::string>& args, long fdLimit = 0);
    bool Running();
    void Signal(int signalNumber);
    // Waits for the child to exit, at most timeoutMs; fills its exit status (128 + N when signal N
    // ended it). False on time-out.
    bool WaitExit(int timeoutMs, int* status);
    // Open descriptors and threads of the child, from /proc; -1 when unreadable.
    int OpenDescriptors() const;
    int HighestDescriptor() const;
    int Threads() const;
    int UnstampedLines() const { return unstamped_; }
    pid_t Pid() const { return child_ != nullptr ? child_->Pid() : -1; }

    LogBook log;

private:
    void ReadOutput(int fd);

    std::unique_ptr<ChildProcess> child_;
    std::thread reader_;
    std::atomic<int> unstamped_{0};
};

// Starts `cli` listening on 127.0.0.1 on a free port (retrying with another port if one was
// taken in between) and waits for its start line. extraArgs come before --port/--bind.
bool StartCliServer(ServerProcess* server, const std::string& cli, uint16_t* port,
                    const std::vector<std::string>& extraArgs = {}, long fdLimit = 0);
// SIGTERM (or the given signal), then waits for an exit with status 0 and "Modbus Server stopped"
// as the last line. Returns the stop time in milliseconds, or -1 after logging what went wrong.
long StopCliServer(ServerProcess* server, int timeoutMs = 10000, int signalNumber = SIGTERM);

// Counting /proc entries of any process.
int CountDirectoryEntries(const std::string& path);

// The path of parvane-cli from the command line (`--cli PATH`), or "".
std::string CliPathFromArgs(int argc, char** argv);
bool HasArg(int argc, char** argv, const char* flag);
