#include "server/listener_thread.h"

#include <cstdint>

#include "generators/generators.h"
#include "log/event_log.h"
#include "platform/winsock_error.h"
#include "server/client_thread.h"
#include "server/server_control.h"
#include "server/server_threads.h"
#include "server/slot_table.h"

namespace {

constexpr int kHostNameSize = 256;

// Accepts until the run ends; returns 0 after a requested stop, otherwise the failure's error number.
int AcceptConnections(SocketHandle listenSocket)
{
    for (;;) {
        SocketAddress peer{};
        int error = 0;
        SocketHandle accepted = AcceptConnection(listenSocket, &peer, &error);
        if (accepted != kNoSocket) {
            StartClientThread(AcquireSlot(accepted, peer));
            continue;
        }
        // However the accept failed, after a requested stop it is the stop.
        if (WasStopRequested()) {
            return 0;
        }
        // A pending connection that went away, or a signal: nothing to do with this server.
        if (error == kWsaEconnrefused || error == kWsaEintr) {
            continue;
        }
        return error;
    }
}

}  // namespace

void* ListenerThread(void* argument)
{
    SocketHandle listenSocket = static_cast<SocketHandle>(reinterpret_cast<intptr_t>(argument));
    // StartServer has already marked the server running, to close the gap before this point.
    ResetEvent(&ServerStoppedEvent);
    LogServerStarted();
    LogListeningEndpoint(listenSocket);
    ArmSlots();
    // Generators stop with the server and resume with it.
    StartGeneratorThread();
    int failure = AcceptConnections(listenSocket);
    if (failure != 0) {
        LogSocketError("Listen thread terminated abnormally", failure);
    }
    CloseListenSocket(listenSocket);
    DisarmSlots();
    StopGeneratorThread();
    LogEvent("Modbus Server stopped");
    MarkServerStopped();
    LeaveThreadGroup(&ServerThreads);
    return nullptr;
}

void LogListeningEndpoint(SocketHandle listenSocket)
{
    // The port the socket is bound to: the one the system chose when port 0 was asked for, which a
    // script reads from this line ("parvane-cli --port 0 | grep -m1 Listening").
    uint16_t port = 0;
    LocalPort(listenSocket, &port);
    char endpoint[kEndpointTextSize];
    FormatEndpointOf(ListenAddress(), port, endpoint);
    LogEvent("Listening on %s", endpoint);
}

void LogServerStarted()
{
    char hostName[kHostNameSize] = {};
    char hostAddress[kIpv4TextSize] = {};
    if (GetLocalHostName(hostName, sizeof hostName)) {
        ResolveFirstIpv4(hostName, hostAddress);
    }
    LogEvent("Modbus Server started on %s <%s>", hostName, hostAddress);
}
