#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/socket.h"

// The headless server beside the test programs: a test program is build/tests/NAME, parvane-cli
// is build/parvane-cli.
inline std::string CliPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "parvane-cli").string();
}

// A loopback port that was free a moment ago (bound to port 0 and read back). Another program may
// take it before the server binds it: prefer --port 0 and the "Listening on" line where a test can.
inline uint16_t FreePort()
{
    int error = 0;
    SocketHandle probe = CreateTcpSocket(&error);
    uint16_t port = 0;
    if (probe != kNoSocket && BindSocket(probe, "127.0.0.1", 0) == 0) {
        LocalPort(probe, &port);
    }
    CloseSocket(probe);
    return port;
}
