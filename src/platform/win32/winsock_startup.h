#pragma once

// WinSock 2.2, started once per process by the first call that needs it and cleaned up when the
// process ends. 0, or the WinSock number that every socket call then reports: the start's own
// failure, or 10092 (WSAVERNOTSUPPORTED) when the system offers no version 2.2, so that the first
// failed step is logged with the log's own texts.
int EnsureWinSock();

// The WinSock number of a failed accept as the listener reads it: a pending connection that the
// peer reset before it was taken (10054 under Windows, 10057 under Wine) gives 10061 like any
// connection that went away, so that the listener accepts again; the rest unchanged.
int AcceptErrorFromWinSock(int number);

// Whether a failed receive only means that no more bytes will come: the receiving side was shut
// down (10058, WSAESHUTDOWN) or the receive was cancelled to wake it (995, WSA_OPERATION_ABORTED).
bool IsReceiveEnd(int number);
