#pragma once

#include "platform/manual_reset_event.h"
#include "platform/socket.h"

// Signalled while the server is stopped.
extern ManualResetEvent ServerStoppedEvent;

// Accepts connections on its own copy of the listening socket (the thread argument) until a stop
// or a failure, then ends every connection and marks the server stopped.
void* ListenerThread(void* listenSocket);
void LogServerStarted();
// "Listening on ADDRESS:PORT", right after the start line.
void LogListeningEndpoint(SocketHandle listenSocket);

// The listener's view of the server control, each under its lock.
bool WasStopRequested();
void CloseListenSocket(SocketHandle listenSocket);
void MarkServerStopped();
