#pragma once

// A program run as a child process for the tests: its standard output (and standard error, unless
// passed through) read through pipes, every wait bounded, and the child ended by its PID only.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

enum class ChildErrors {
    kCaptured,        // read separately: Errors()
    kMerged,          // into the output pipe, in the order written
    kPassedThrough,   // the test's own standard error
};

struct ChildOptions {
    std::vector<std::string> environment;   // extra NAME=value entries, ahead of the inherited ones
    ChildErrors errors = ChildErrors::kCaptured;
    bool dropToNobody = false;   // when root: run as uid/gid 65534, without capabilities
    long descriptorLimit = 0;    // above 0: the child's RLIMIT_NOFILE
};

using Milliseconds = std::chrono::milliseconds;

class ChildProcess {
public:
    ChildProcess() = default;
    // Starts at once; a failed start shows as Pid() -1, and every wait then answers "nothing".
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const ChildOptions& options = {});
    ~ChildProcess();   // a child still running is killed (SIGKILL) and reaped
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The child gets /dev/null as input and no descriptor of ours beyond its pipes. False when the
    // pipes, the fork or the exec failed (an exec failure shows as exit status 127).
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options = {});

    // The next whole line of output, without its newline; nothing when the output ended or the
    // time ran out first.
    std::optional<std::string> NextLine(Milliseconds limit);
    // Reads lines until one contains `text` and answers it.
    std::optional<std::string> WaitForLine(const std::string& text, Milliseconds limit);
    // The output not yet returned as a line, read until the child closes it (bounded).
    std::string ReadToEnd(Milliseconds limit);

    // Reads both outputs until the child exits, then answers its exit status: -1 on time-out,
    // 128 + N when signal N ended it.
    int WaitForExit(Milliseconds limit);
    bool Running();
    void Signal(int signalNumber);

    // The output pipe handed over to a caller that reads it itself (and closes it); -1 if none.
    int TakeOutput();
    // Closes our end of the output pipe: the child's later writes to it fail (EPIPE, SIGPIPE).
    void CloseOutput();

    pid_t Pid() const { return pid_; }
    const std::string& Output() const { return output_; }   // everything read from stdout so far
    const std::string& Errors() const { return errors_; }   // everything read from stderr so far

private:
    // Waits at most until `deadline` for data on either pipe; false when nothing more can come
    // (both closed) or the time is up.
    bool ReadSome(std::chrono::steady_clock::time_point deadline);
    void Reap(int waitStatus);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::optional<int> exitStatus_;
    std::string output_;
    std::string errors_;
    size_t scanned_ = 0;   // output_ before this offset has been returned as lines
};

// Runs a program to its end (bounded) and answers its exit status, stdout and stderr.
struct ChildResult {
    int status;
    std::string output;
    std::string errors;
};
ChildResult RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {}, Milliseconds limit = std::chrono::seconds(20));
