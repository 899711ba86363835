#pragma once

// WinSock error numbers that the server tests by number, and the translation of POSIX errno values
// into WinSock numbers so that the log shows the same texts on every platform.
inline constexpr int kWsaEintr = 10004;          // interrupted call
inline constexpr int kWsaEinval = 10022;
inline constexpr int kWsaEwouldblock = 10035;    // a receive that would have to wait
inline constexpr int kWsaEtimedout = 10060;      // also a send that ran out of its time-out
inline constexpr int kWsaEconnrefused = 10061;   // a pending connection that went away before accept

// The WinSock number for an errno value; an errno without a WinSock counterpart gives its negation,
// which is never 0 and has no text.
int WinSockErrorFromErrno(int errnoValue);
