#pragma once

// WinSock error numbers that the server tests by number, and the translation of POSIX errno values
// into WinSock numbers so that the log shows the same texts on every platform.
inline constexpr int kWsaEintr = 10004;          // interrupted call
inline constexpr int kWsaEacces = 10013;         // e.g. a port below 1024 without the privilege
inline constexpr int kWsaEinval = 10022;
inline constexpr int kWsaEwouldblock = 10035;    // a receive that would have to wait
inline constexpr int kWsaEtimedout = 10060;      // also a send that ran out of its time-out
inline constexpr int kWsaEconnrefused = 10061;   // a pending connection that went away before accept

// The WinSock number for an errno value; an errno without a WinSock counterpart gives its negation,
// which is never 0 and has no WinSock text (SystemErrorText gives its text).
int WinSockErrorFromErrno(int errnoValue);

// The system's own words for an error number that has no WinSock text, into `text` (at most
// textSize - 1 characters and a terminator): for the negation of an errno, the errno and its
// description, e.g. "71 Protocol error"; for any other number, "".
void SystemErrorText(int number, char* text, int textSize);

// The WinSock number for a failed accept: the failures that only concern the one pending connection
// (it went away, or the network refused it) give 10061 like a refused connection, so that the
// listener accepts again; the rest as WinSockErrorFromErrno.
int AcceptErrorFromErrno(int errnoValue);
