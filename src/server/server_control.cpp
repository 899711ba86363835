#include "server/server_control.h"

#include <cstring>
#include <mutex>

#include "log/event_log.h"
#include "platform/manual_reset_event.h"
#include "platform/socket.h"
#include "platform/winsock_error.h"
#include "server/listener_thread.h"
#include "server/server_threads.h"

ThreadGroup ServerThreads;
// Signalled (stopped) from the start, so that nothing reads "running" before InitServerControl.
ManualResetEvent ServerStoppedEvent{{}, {}, true};

namespace {

// Where to listen; written by InitServerControl before any server thread exists. BindPort is
// also written by the first start that was given port 0, under ServerControlLock.
char BindAddress[kAddressTextSize];
uint16_t BindPort;

// Guards BindPort (once the server may run), ListenSocket, ListenPort and StopRequested. Never held
// while logging.
std::mutex ServerControlLock;
// The listening socket of the current run, kNoSocket once the listener has closed it, so that a
// late StopServer never touches a descriptor that the system has handed out again.
SocketHandle ListenSocket = kNoSocket;
uint16_t ListenPort = 0;
bool StopRequested = false;

// What a failed start step reports, logged after the lock is left.
struct StartFailure {
    const char* what = nullptr;
    int number = 0;
    bool systemError = false;
};

}  // namespace

void InitServerControl(const char* bindAddress, uint16_t port)
{
    std::strncpy(BindAddress, bindAddress, sizeof BindAddress - 1);
    BindAddress[sizeof BindAddress - 1] = '\0';
    BindPort = port;
    SetEvent(&ServerStoppedEvent);
}

void DestroyServerControl()
{
    WaitThreadGroupEmpty(&ServerThreads);
}

bool IsServerRunning()
{
    return !IsEventSignalled(&ServerStoppedEvent);
}

int StartServer()
{
    StartFailure failure;
    {
        std::lock_guard<std::mutex> hold(ServerControlLock);
        // The server counts as running from here until its listener has ended, so a second start
        // can never create a second listener and a stop right after this start is not lost.
        if (IsServerRunning()) {
            return 0;
        }
        int error = 0;
        AddressFamily family = AddressFamily::kIpv4;
        AddressFamilyOf(BindAddress, &family);   // an unreadable address fails in the bind below
        SocketHandle listenSocket = CreateTcpSocket(&error, family);
        if (listenSocket == kNoSocket) {
            failure = {"Unable to create listen socket", error, false};
        } else {
            // A restart right after a stop must bind again while closed connections linger.
            SetReuseAddress(listenSocket);
            if ((error = BindSocket(listenSocket, BindAddress, BindPort)) != 0) {
                failure = {"Unable to bind listen socket", error, false};
            } else if ((error = ListenOnSocket(listenSocket)) != 0) {
                failure = {"Unable to listen on socket", error, false};
            } else {
                ListenSocket = listenSocket;
                StopRequested = false;
                LocalPort(listenSocket, &ListenPort);
                // Port 0 asks the system for a free port once: later starts listen on the same one,
                // so that a script that read it from the first start can still reach the server.
                if (BindPort == 0) {
                    BindPort = ListenPort;
                }
                ResetEvent(&ServerStoppedEvent);
                // The listener gets its own copy of the socket as its argument.
                error = StartDetachedThread(&ServerThreads, ListenerThread,
                                            reinterpret_cast<void*>(static_cast<intptr_t>(listenSocket)));
                if (error != 0) {
                    failure = {"Unable to create listening thread", error, true};
                    ListenSocket = kNoSocket;
                    ListenPort = 0;
                    SetEvent(&ServerStoppedEvent);
                }
            }
            if (failure.what != nullptr) {
                CloseSocket(listenSocket);
            }
        }
    }
    if (failure.what == nullptr) {
        return 0;
    }
    if (failure.systemError) {
        LogSystemError(failure.what, failure.number);
    } else {
        LogSocketError(failure.what, failure.number);
    }
    return failure.number;
}

void StopServer()
{
    std::lock_guard<std::mutex> hold(ServerControlLock);
    if (!IsServerRunning() || StopRequested || ListenSocket == kNoSocket) {
        return;
    }
    StopRequested = true;
    // Closing a listening socket does not end an accept blocked on it under Linux; shutting it down
    // does, and later accepts fail at once. The listener closes it, once, when its loop has ended.
    ShutdownSocket(ListenSocket);
}

void WaitServerStopped()
{
    WaitForEvent(&ServerStoppedEvent);
}

bool WaitServerStoppedFor(int milliseconds)
{
    return WaitForEventFor(&ServerStoppedEvent, milliseconds);
}

const char* ListenAddress()
{
    // Written by InitServerControl before any other thread exists, never again.
    return BindAddress;
}

uint16_t ListeningPort()
{
    std::lock_guard<std::mutex> hold(ServerControlLock);
    return ListenSocket == kNoSocket ? 0 : ListenPort;
}

bool WasStopRequested()
{
    std::lock_guard<std::mutex> hold(ServerControlLock);
    return StopRequested;
}

void CloseListenSocket(SocketHandle listenSocket)
{
    std::lock_guard<std::mutex> hold(ServerControlLock);
    CloseSocket(listenSocket);
    ListenSocket = kNoSocket;
}

void MarkServerStopped()
{
    // Under the lock, so that a StartServer either sees the run still going or a clean stop.
    std::lock_guard<std::mutex> hold(ServerControlLock);
    SetEvent(&ServerStoppedEvent);
}
