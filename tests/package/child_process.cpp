#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

int ExitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

// Runs in the child between fork and exec: only async-signal-safe calls, and _exit on failure.
[[noreturn]] void ExecChild(const char* program, char* const* argv, char* const* envp,
                            bool dropToNobody, int outFd, int errFd) {
  dup2(outFd, STDOUT_FILENO);
  dup2(errFd, STDERR_FILENO);
  int devNull = open("/dev/null", O_RDONLY);
  if (devNull >= 0) dup2(devNull, STDIN_FILENO);
  if (dropToNobody && geteuid() == 0) {
    // Changing every uid away from 0 clears the permitted and effective capabilities.
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
  }
  execve(program, argv, envp);
  _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  // Everything the child needs is built before the fork: after it, only exec-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // The extra entries go first: getenv answers the first entry of a name.
  std::vector<char*> envp;
  for (const std::string& entry : options.environment) envp.push_back(const_cast<char*>(entry.c_str()));
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return;
  }
  if (pid_ == 0) {
    ExecChild(program.c_str(), argv.data(), envp.data(), options.dropToNobody, outPipe[1], errPipe[1]);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exitStatus_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool ChildProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  if (outFd_ < 0 && errFd_ < 0) return false;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  int ready = poll(fds, 2, static_cast<int>(left.count()));
  if (ready < 0 && errno == EINTR) return true;
  if (ready <= 0) return false;
  char buffer[4096];
  int* descriptors[2] = {&outFd_, &errFd_};
  std::string* sinks[2] = {&output_, &errors_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    ssize_t count = read(*descriptors[i], buffer, sizeof buffer);
    if (count > 0) {
      sinks[i]->append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      close(*descriptors[i]);
      *descriptors[i] = -1;
    }
  }
  return true;
}

std::optional<std::string> ChildProcess::WaitForLine(const std::string& text,
                                                      std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    size_t end;
    while ((end = output_.find('\n', scanned_)) != std::string::npos) {
      std::string line = output_.substr(scanned_, end - scanned_);
      scanned_ = end + 1;
      if (line.find(text) != std::string::npos) return line;
    }
    if (!ReadSome(deadline)) return std::nullopt;
  }
}

int ChildProcess::WaitForExit(std::chrono::milliseconds limit) {
  if (exitStatus_) return *exitStatus_;
  if (pid_ <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + limit;
  // Drain both pipes first, so that a child blocked on a full pipe can finish; a child that has
  // closed both outputs is then reaped with a bounded wait.
  while (ReadSome(deadline)) {
  }
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exitStatus_ = ExitStatusOf(status);
      return *exitStatus_;
    }
    // The child still runs with its outputs closed (or handed on): poll for its end.
    poll(nullptr, 0, 10);
  }
  return -1;
}

void ChildProcess::Signal(int signalNumber) {
  if (pid_ > 0 && !exitStatus_) kill(pid_, signalNumber);
}

ChildResult RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options, std::chrono::milliseconds limit) {
  ChildProcess child(program, arguments, options);
  int status = child.WaitForExit(limit);
  return {status, child.Output(), child.Errors()};
}
