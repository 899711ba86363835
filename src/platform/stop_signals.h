#pragma once

// SIGINT, SIGTERM and SIGHUP taken synchronously: blocked in every thread, then picked up by one thread
// with a bounded wait. No signal handler runs at all, so no server call is ever interrupted.

// Blocks the three signals in the calling thread and in every thread it starts afterwards; call it
// before any other thread exists. 0 or the error number.
int BlockStopSignals();

// Waits at most `milliseconds` for SIGINT, SIGTERM or SIGHUP; the signal's number, or 0 when none came.
int WaitForStopSignal(int milliseconds);
