#pragma once

#include <cstdint>

// A TCP socket: a file descriptor. No open socket is ever -1, so -1 marks "no socket".
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
