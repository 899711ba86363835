#include "platform/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what is there, waiting at most `milliseconds`; false at end of output or on time-out.
bool ReadSome(ChildProcess* child, int milliseconds)
{
    pollfd watched{child->outputFd, POLLIN, 0};
    if (poll(&watched, 1, milliseconds) <= 0) {
        return false;
    }
    char buffer[4096];
    ssize_t got = read(child->outputFd, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    child->pending.append(buffer, static_cast<size_t>(got));
    return true;
}

}  // namespace

bool StartChildProcess(ChildProcess* child, const std::vector<std::string>& arguments, bool mergeStandardError)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (mergeStandardError) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    }
    // The child starts with no signal blocked, whatever its parent's threads block.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        return false;
    }
    child->pid = pid;
    child->outputFd = pipeEnds[0];
    return true;
}

bool ReadChildLine(ChildProcess* child, std::string* line, int milliseconds)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        size_t end = child->pending.find('\n');
        if (end != std::string::npos) {
            *line = child->pending.substr(0, end);
            child->pending.erase(0, end + 1);
            return true;
        }
        int left = MillisecondsLeft(deadline);
        if (left == 0 || !ReadSome(child, left)) {
            return false;
        }
    }
}

std::string ReadChildOutputToEnd(ChildProcess* child, int milliseconds)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (MillisecondsLeft(deadline) > 0 && ReadSome(child, MillisecondsLeft(deadline))) {
    }
    std::string all;
    all.swap(child->pending);
    return all;
}

bool SignalChildProcess(ChildProcess* child, int signalNumber)
{
    return child->pid > 0 && kill(child->pid, signalNumber) == 0;
}

int WaitChildExit(ChildProcess* child, int milliseconds)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child->pid, &status, WNOHANG);
        if (done == child->pid) {
            break;
        }
        if (MillisecondsLeft(deadline) == 0) {
            kill(child->pid, SIGKILL);
            waitpid(child->pid, &status, 0);
            child->pid = -1;
            close(child->outputFd);
            child->outputFd = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child->pid = -1;
    if (child->outputFd >= 0) {
        close(child->outputFd);
        child->outputFd = -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
