#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;
constexpr int kExitPollMilliseconds = 5;

int ExitStatusOf(int waitStatus)
{
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return -1;
}

int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

struct ChildDescriptors {
    int out;
    int err;   // -1: standard error stays the test's own
};

// Runs in the child between fork and exec: only async-signal-safe calls, and _exit on failure.
[[noreturn]] void ExecChild(const char* program, char* const* argv, char* const* envp, const ChildOptions& options,
                            ChildDescriptors descriptors)
{
    dup2(descriptors.out, STDOUT_FILENO);
    if (descriptors.err >= 0) {
        dup2(descriptors.err, STDERR_FILENO);
    }
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
    }
    // Nothing of the test's leaks into the child, so that its descriptor count is its own.
    close_range(3, ~0u, 0);
    // The child starts with no signal blocked and every signal at its default, whatever the test's
    // threads block or ignore.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    if (options.descriptorLimit > 0) {
        rlimit limit{static_cast<rlim_t>(options.descriptorLimit), static_cast<rlim_t>(options.descriptorLimit)};
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (options.dropToNobody && geteuid() == 0) {
        // Changing every uid away from 0 clears the permitted and effective capabilities.
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
            _exit(126);
        }
    }
    execve(program, argv, envp);
    _exit(127);
}

void CloseIfOpen(int* fd)
{
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildOptions& options)
{
    Start(program, arguments, options);
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !exitStatus_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    CloseIfOpen(&outFd_);
    CloseIfOpen(&errFd_);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const ChildOptions& options)
{
    int outPipe[2];
    int errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        return false;
    }
    if (options.errors == ChildErrors::kCaptured && pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    // Everything the child needs is built before the fork: after it, only exec-safe calls.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    // The extra entries go first: getenv answers the first entry of a name.
    std::vector<char*> envp;
    for (const std::string& entry : options.environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envp.push_back(*entry);
    }
    envp.push_back(nullptr);
    ChildDescriptors descriptors{outPipe[1], -1};
    if (options.errors == ChildErrors::kCaptured) {
        descriptors.err = errPipe[1];
    } else if (options.errors == ChildErrors::kMerged) {
        descriptors.err = outPipe[1];
    }
    pid_t pid = fork();
    if (pid == 0) {
        ExecChild(program.c_str(), argv.data(), envp.data(), options, descriptors);
    }
    close(outPipe[1]);
    if (errPipe[1] >= 0) {
        close(errPipe[1]);
    }
    if (pid < 0) {
        close(outPipe[0]);
        if (errPipe[0] >= 0) {
            close(errPipe[0]);
        }
        return false;
    }
    pid_ = pid;
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    exitStatus_.reset();
    output_.clear();
    errors_.clear();
    scanned_ = 0;
    return true;
}

bool ChildProcess::ReadSome(Clock::time_point deadline)
{
    if (outFd_ < 0 && errFd_ < 0) {
        return false;
    }
    int left = MillisecondsLeft(deadline);
    if (left == 0) {
        return false;
    }
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    int ready = poll(fds, 2, left);
    if (ready < 0 && errno == EINTR) {
        return true;
    }
    if (ready <= 0) {
        return false;
    }
    char buffer[4096];
    int* descriptors[2] = {&outFd_, &errFd_};
    std::string* sinks[2] = {&output_, &errors_};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        ssize_t count = read(*descriptors[i], buffer, sizeof buffer);
        if (count > 0) {
            sinks[i]->append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            CloseIfOpen(descriptors[i]);
        }
    }
    return true;
}

std::optional<std::string> ChildProcess::NextLine(Milliseconds limit)
{
    Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        size_t end = output_.find('\n', scanned_);
        if (end != std::string::npos) {
            std::string line = output_.substr(scanned_, end - scanned_);
            scanned_ = end + 1;
            return line;
        }
        if (!ReadSome(deadline)) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> ChildProcess::WaitForLine(const std::string& text, Milliseconds limit)
{
    Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        std::optional<std::string> line = NextLine(Milliseconds(MillisecondsLeft(deadline)));
        if (!line || line->find(text) != std::string::npos) {
            return line;
        }
    }
}

std::string ChildProcess::ReadToEnd(Milliseconds limit)
{
    Clock::time_point deadline = Clock::now() + limit;
    while (outFd_ >= 0 && ReadSome(deadline)) {
    }
    std::string rest = output_.substr(scanned_);
    scanned_ = output_.size();
    return rest;
}

void ChildProcess::Reap(int waitStatus)
{
    exitStatus_ = ExitStatusOf(waitStatus);
}

int ChildProcess::WaitForExit(Milliseconds limit)
{
    if (exitStatus_) {
        return *exitStatus_;
    }
    if (pid_ <= 0) {
        return -1;
    }
    Clock::time_point deadline = Clock::now() + limit;
    // Drain the pipes first, so that a child blocked on a full pipe can finish; a child that has
    // closed its outputs (or whose output was handed over) is then reaped with a bounded wait.
    while (ReadSome(deadline)) {
    }
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            Reap(status);
            return *exitStatus_;
        }
        if (MillisecondsLeft(deadline) == 0) {
            return -1;
        }
        poll(nullptr, 0, kExitPollMilliseconds);
    }
}

bool ChildProcess::Running()
{
    if (pid_ <= 0 || exitStatus_) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        Reap(status);
        return false;
    }
    return true;
}

void ChildProcess::Signal(int signalNumber)
{
    if (pid_ > 0 && !exitStatus_) {
        kill(pid_, signalNumber);
    }
}

int ChildProcess::TakeOutput()
{
    int taken = outFd_;
    outFd_ = -1;
    return taken;
}

void ChildProcess::CloseOutput()
{
    CloseIfOpen(&outFd_);
}

ChildResult RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options, Milliseconds limit)
{
    ChildProcess child(program, arguments, options);
    int status = child.WaitForExit(limit);
    return {status, child.Output(), child.Errors()};
}
