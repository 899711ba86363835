#pragma once

// Standard output as the headless server uses it: a reader that may go away or stop reading must
// neither end the process nor hold up its stop.

// From now on a write to a pipe or socket whose reader has gone fails (10058, WSAESHUTDOWN) instead
// of ending the process with SIGPIPE. 0 or the error number.
int IgnoreBrokenPipe();

// Writes all `count` bytes to standard output with the system's own writes, not through the C
// library's buffer, waiting as long as the reader keeps it full. 0, or the WinSock error number of
// the failed write (the bytes not yet written are then lost).
int WriteStandardOutput(const char* bytes, int count);

// Ends the process at once with `status`: no exit handlers, no destructors, no flush of the C
// library's buffers, so that a thread still stuck in a write cannot hold up the end.
[[noreturn]] void LeaveProcessNow(int status);
