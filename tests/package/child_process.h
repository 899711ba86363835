#pragma once

// Runs an installed program as a child process with its standard output and standard error
// captured, for the install tests. Every wait is bounded; the child is ended by its PID only.

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildOptions {
  std::vector<std::string> environment;  // extra NAME=value entries
  bool dropToNobody = false;             // when root: run as uid/gid 65534, without capabilities
};

class ChildProcess {
 public:
  // Starts `program` with `arguments`; fails the calling test if fork or exec fails.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  ~ChildProcess();  // a child still running is killed (SIGKILL) and reaped
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads standard output until a whole line containing `text` has arrived; answers that line,
  // or nothing when the child closed its output or the time ran out first.
  std::optional<std::string> WaitForLine(const std::string& text, std::chrono::milliseconds limit);

  // Reads both outputs until the child exits, then answers its exit status (-1 on time-out,
  // 128 + N when killed by signal N).
  int WaitForExit(std::chrono::milliseconds limit);

  void Signal(int signalNumber);

  const std::string& Output() const { return output_; }  // everything read from stdout so far
  const std::string& Errors() const { return errors_; }  // everything read from stderr so far

 private:
  // Waits at most until `deadline` for data on either pipe; answers false when nothing more can
  // come (both closed) or the time is up.
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::optional<int> exitStatus_;
  std::string output_;
  std::string errors_;
  size_t scanned_ = 0;  // output_ before this offset holds only lines already searched
};

// Runs a program to its end (bounded) and answers its exit status, stdout and stderr.
struct ChildResult {
  int status;
  std::string output;
  std::string errors;
};
ChildResult RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {},
                     std::chrono::milliseconds limit = std::chrono::seconds(20));
