#pragma once

// The server run inside the scenario's own process through its library interface, the way the
// console runs it, so that ThreadSanitizer and AddressSanitizer see the server's threads and the
// clients' together. Only one per process: the server's tables and slots are process-wide.

#include <cstdint>
#include <string>

#include "stress_harness.h"

class InProcessServer {
public:
    // Tables, slot table, log target and server control, listening on 127.0.0.1 and a free port.
    void Init();
    // StartServer and wait (bounded) for this run's start line; false when the start failed.
    bool Start(int timeoutMs = 5000);
    // StopServer and wait, at most timeoutMs, until the server is stopped: the milliseconds it
    // took, or -1 when it did not stop in time.
    long Stop(int timeoutMs);
    // After the last stop: DestroyServerControl, then the slot table and the data tables.
    void Destroy();

    uint16_t Port() const { return port_; }
    LogBook log;

private:
    uint16_t port_ = 0;
};

// Starts the server a scenario that runs both ways drives: this process's own (after Init) or
// parvane-cli at `cli` on a free port. False, with the failure recorded, when it did not start.
bool StartScenarioServer(bool inProcess, const std::string& cli, ServerProcess* process, InProcessServer* inside,
                         uint16_t* port);
