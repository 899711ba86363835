#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "platform/win32/winsock_startup.h"
#include "platform/sockets/address_records.h"
#include "platform/winsock_error.h"

// A SOCKET is a kernel handle, and kernel handles only ever use their low 32 bits (so that 32-bit
// and 64-bit processes can share them): it fits SocketHandle, and INVALID_SOCKET becomes -1.

namespace {

SOCKET Native(SocketHandle socket)
{
    return static_cast<SOCKET>(static_cast<uintptr_t>(static_cast<unsigned>(socket)));
}

SocketHandle Handle(SOCKET socket)
{
    return static_cast<SocketHandle>(static_cast<unsigned>(socket));
}

int SetIntOption(SocketHandle socket, int level, int name, int value)
{
    if (setsockopt(Native(socket), level, name, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        return WSAGetLastError();
    }
    return 0;
}

// A socket must not reach a program that this process starts.
void KeepFromChildren(SOCKET socket)
{
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

bool IsListening(SocketHandle socket)
{
    BOOL listening = FALSE;
    int length = sizeof listening;
    return getsockopt(Native(socket), SOL_SOCKET, SO_ACCEPTCONN, reinterpret_cast<char*>(&listening), &length) == 0 &&
           listening != FALSE;
}

// Cancels every receive, send or accept pending on the socket, whichever thread waits in it.
void CancelPendingCalls(SocketHandle socket)
{
    CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

// The event that this thread's receives wait on, made by its first receive and closed when the
// thread ends: one per thread, not one per receive.
struct ReceiveEvent {
    HANDLE handle = nullptr;
    ~ReceiveEvent()
    {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
};

HANDLE ThisThreadsReceiveEvent()
{
    thread_local ReceiveEvent event;
    if (event.handle == nullptr) {
        // Auto-reset: a wait that ends consumes the signal, so a completion that came at once and
        // left the event set costs the next receive at most one extra look, never a missed wake.
        event.handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    return event.handle;
}

}  // namespace

SocketHandle CreateTcpSocket(int* error, AddressFamily family)
{
    if (int startError = EnsureWinSock(); startError != 0) {
        *error = startError;
        return kNoSocket;
    }
    const bool ipv6 = family == AddressFamily::kIpv6;
    SOCKET created = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (created == INVALID_SOCKET) {
        *error = WSAGetLastError();
        return kNoSocket;
    }
    KeepFromChildren(created);
    if (ipv6) {
        // Dual stack where the system allows it; where it does not, "::" still serves IPv6.
        SetIntOption(Handle(created), IPPROTO_IPV6, IPV6_V6ONLY, 0);
    }
    return Handle(created);
}

int BindSocket(SocketHandle socket, const char* address, uint16_t port)
{
    sockaddr_storage storage;
    int length = 0;
    if (!FillSocketAddress(address, port, &storage, &length)) {
        return kWsaEinval;
    }
    if (bind(Native(socket), reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        return WSAGetLastError();
    }
    return 0;
}

int ListenOnSocket(SocketHandle socket)
{
    if (listen(Native(socket), SOMAXCONN) != 0) {
        return WSAGetLastError();
    }
    return 0;
}

int LocalPort(SocketHandle socket, uint16_t* port)
{
    SocketAddress local{};
    if (int error = LocalAddress(socket, &local); error != 0) {
        return error;
    }
    *port = local.port;
    return 0;
}

int LocalAddress(SocketHandle socket, SocketAddress* local)
{
    sockaddr_storage address{};
    int length = sizeof address;
    if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return WSAGetLastError();
    }
    *local = AddressOfRecord(address);
    return 0;
}

SocketHandle AcceptConnection(SocketHandle listenSocket, SocketAddress* peer, int* error)
{
    sockaddr_storage address{};
    int length = sizeof address;
    SOCKET accepted = accept(Native(listenSocket), reinterpret_cast<sockaddr*>(&address), &length);
    if (accepted == INVALID_SOCKET) {
        *error = AcceptErrorFromWinSock(WSAGetLastError());
        return kNoSocket;
    }
    KeepFromChildren(accepted);
    *peer = AddressOfRecord(address);
    return Handle(accepted);
}

int SetNoDelay(SocketHandle socket)
{
    return SetIntOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
}

int SetKeepAlive(SocketHandle socket)
{
    return SetIntOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
}

int SetReuseAddress(SocketHandle socket)
{
    // Windows binds a listening socket again while closed connections linger without being asked,
    // and its SO_REUSEADDR means something else: a second program could bind the same port and
    // take the clients. So there is nothing to set.
    (void)socket;
    return 0;
}

int SetSendTimeout(SocketHandle socket, int milliseconds)
{
    DWORD timeout = static_cast<DWORD>(milliseconds);
    if (setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) != 0) {
        return WSAGetLastError();
    }
    return 0;
}

int ReceiveWaiting(SocketHandle socket, uint8_t* buffer, int count, int* error)
{
    // Overlapped, so that ShutdownReceive can cancel it from another thread: Windows does not end a
    // receive blocked in a socket whose receiving side is shut down.
    WSABUF part{static_cast<ULONG>(count), reinterpret_cast<char*>(buffer)};
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = ThisThreadsReceiveEvent();
    DWORD received = 0;
    DWORD flags = 0;
    int failure = 0;
    if (WSARecv(Native(socket), &part, 1, &received, &flags, &overlapped, nullptr) != 0) {
        failure = WSAGetLastError();
        while (failure == WSA_IO_PENDING || failure == WSA_IO_INCOMPLETE) {
            WaitForSingleObject(overlapped.hEvent, INFINITE);
            failure = WSAGetOverlappedResult(Native(socket), &overlapped, &received, FALSE, &flags) ? 0
                                                                                                      : WSAGetLastError();
        }
    }
    if (failure == 0) {
        return static_cast<int>(received);
    }
    if (IsReceiveEnd(failure)) {
        return 0;
    }
    *error = failure;
    return -1;
}

int SendBytes(SocketHandle socket, const uint8_t* buffer, int count, int* error)
{
    // Windows has no SIGPIPE: a send to a peer that has gone just fails.
    int sent = send(Native(socket), reinterpret_cast<const char*>(buffer), count, 0);
    if (sent == SOCKET_ERROR) {
        *error = WSAGetLastError();
        return -1;
    }
    return sent;
}

int CloseSocket(SocketHandle socket)
{
    if (closesocket(Native(socket)) != 0) {
        return WSAGetLastError();
    }
    return 0;
}

int ShutdownSocket(SocketHandle socket)
{
    int error = 0;
    if (shutdown(Native(socket), SD_BOTH) != 0) {
        error = WSAGetLastError();
    }
    if (IsListening(socket)) {
        // Windows neither shuts a listening socket down nor ends an accept blocked on it that way.
        // Non-blocking first, so that every later accept fails at once; then the accept already
        // waiting is cancelled.
        u_long nonBlocking = 1;
        ioctlsocket(Native(socket), FIONBIO, &nonBlocking);
        error = 0;
    }
    CancelPendingCalls(socket);
    return error;
}

int ShutdownReceive(SocketHandle socket)
{
    // The shutdown makes every later receive end at once; the cancel ends the one already waiting,
    // even when the shutdown failed (a connection the peer has reset).
    int error = shutdown(Native(socket), SD_RECEIVE) != 0 ? WSAGetLastError() : 0;
    CancelPendingCalls(socket);
    return error;
}

bool GetLocalHostName(char* name, int nameSize)
{
    if (EnsureWinSock() != 0 || gethostname(name, nameSize) != 0) {
        name[0] = '\0';
        return false;
    }
    name[nameSize - 1] = '\0';
    return true;
}

bool LowPortsNeedPrivilege()
{
    return false;
}
