#pragma once

// The text shown for a WinSock error number, e.g. 10048 gives
// "WSAEADDRINUSE: Address already in use"; a number without an entry gives "".
const char* WinSockErrorText(int number);

// How many numbers have a text (51).
int WinSockErrorTextCount();
