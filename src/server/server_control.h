#pragma once

#include <cstdint>

inline constexpr uint16_t kDefaultModbusPort = 502;
inline constexpr const char* kDefaultBindAddress = "0.0.0.0";

// Created at start-up after InitSlotTable with where the server will listen (a dotted IPv4 address
// and a port); the server starts stopped.
void InitServerControl(const char* bindAddress, uint16_t port);
// Called after the server has stopped; returns only when the listener and every client thread
// have returned, so that nothing touches the slot table or the log afterwards.
void DestroyServerControl();

bool IsServerRunning();
// Does nothing while running. 0 when the server started or was already running; otherwise the
// failed step has been logged and the result is its error number: the WinSock number of a socket
// step, the system's number when the listener thread could not be created.
int StartServer();
void StopServer();           // does nothing while stopped; returns without waiting
void WaitServerStopped();    // returns once the server is stopped

// The dotted address the server listens on, as InitServerControl was given it.
const char* ListenAddress();
// The port the listening socket is bound to while the server runs (useful when it was started on
// port 0, "any free port"); 0 while stopped.
uint16_t ListeningPort();
// Like WaitServerStopped, but gives up after `milliseconds`; true when the server is stopped.
bool WaitServerStoppedFor(int milliseconds);
