#pragma once

#include <string>
#include <vector>

// A program run as a child process with its standard output read through a pipe: what the tests
// of the headless server need, kept here with the other system calls.
struct ChildProcess {
    int pid = -1;
    int outputFd = -1;      // the child's standard output (and standard error when merged)
    std::string pending;    // read but not yet returned as a line
};

// Starts `arguments[0]` with the arguments; false when it could not be started.
bool StartChildProcess(ChildProcess* child, const std::vector<std::string>& arguments, bool mergeStandardError);

// The next whole line of output (without its newline) within `milliseconds`; false on time-out or
// end of output.
bool ReadChildLine(ChildProcess* child, std::string* line, int milliseconds);

// Everything the child writes until it closes its output, within `milliseconds`.
std::string ReadChildOutputToEnd(ChildProcess* child, int milliseconds);

bool SignalChildProcess(ChildProcess* child, int signalNumber);
inline constexpr int kSignalTerminate = 15;
inline constexpr int kSignalHangUp = 1;
inline constexpr int kSignalInterrupt = 2;
inline constexpr int kSignalKill = 9;

// The exit status within `milliseconds`, or -1 on time-out (the child is then killed and reaped),
// or 128 + the signal number when a signal ended it.
int WaitChildExit(ChildProcess* child, int milliseconds);
