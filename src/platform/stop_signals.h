#pragma once

// The system's requests to stop, taken synchronously and picked up by one thread with a bounded wait,
// so that no server call is ever interrupted: under POSIX SIGINT, SIGTERM and SIGHUP, blocked in
// every thread and never handled; under Windows the console's Ctrl+C, Ctrl+Break and close.

// Blocks the three signals in the calling thread and in every thread it starts afterwards (under
// Windows: takes the console's control events); call it before any other thread exists. 0 or the
// error number.
int BlockStopSignals();

// Waits at most `milliseconds` for a stop request; the signal's number (SIGINT for Ctrl+C,
// SIGBREAK for Ctrl+Break, SIGTERM for the console's close), or 0 when none came.
int WaitForStopSignal(int milliseconds);

// The stop requests in words, for the help text: "SIGINT, SIGTERM or SIGHUP".
const char* StopRequestNames();
