#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/sockets/address_records.h"
#include "platform/winsock_error.h"

namespace {

int LastError()
{
    return WinSockErrorFromErrno(errno);
}

int SetIntOption(SocketHandle socket, int level, int name, int value)
{
    if (setsockopt(socket, level, name, &value, sizeof value) != 0) {
        return LastError();
    }
    return 0;
}

}  // namespace

SocketHandle CreateTcpSocket(int* error, AddressFamily family)
{
    const bool ipv6 = family == AddressFamily::kIpv6;
    SocketHandle created = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (created < 0) {
        *error = LastError();
        return kNoSocket;
    }
    if (ipv6) {
        // Dual stack where the system allows it; where it does not, "::" still serves IPv6.
        SetIntOption(created, IPPROTO_IPV6, IPV6_V6ONLY, 0);
    }
    return created;
}

int BindSocket(SocketHandle socket, const char* address, uint16_t port)
{
    sockaddr_storage storage;
    socklen_t length = 0;
    if (!FillSocketAddress(address, port, &storage, &length)) {
        return kWsaEinval;
    }
    if (bind(socket, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        return LastError();
    }
    return 0;
}

int ListenOnSocket(SocketHandle socket)
{
    if (listen(socket, SOMAXCONN) != 0) {
        return LastError();
    }
    return 0;
}

int LocalPort(SocketHandle socket, uint16_t* port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return LastError();
    }
    *port = AddressOfRecord(address).port;
    return 0;
}

int LocalAddress(SocketHandle socket, SocketAddress* local)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return LastError();
    }
    *local = AddressOfRecord(address);
    return 0;
}

SocketHandle AcceptConnection(SocketHandle listenSocket, SocketAddress* peer, int* error)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    SocketHandle accepted = accept4(listenSocket, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
    if (accepted < 0) {
        *error = AcceptErrorFromErrno(errno);
        return kNoSocket;
    }
    *peer = AddressOfRecord(address);
    return accepted;
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
    return SetIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
}

int SetSendTimeout(SocketHandle socket, int milliseconds)
{
    timeval timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = (milliseconds % 1000) * 1000;
    if (setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
        return LastError();
    }
    return 0;
}

int ReceiveWaiting(SocketHandle socket, uint8_t* buffer, int count, int* error)
{
    for (;;) {
        ssize_t received = recv(socket, buffer, static_cast<size_t>(count), 0);
        if (received >= 0) {
            return static_cast<int>(received);
        }
        if (errno != EINTR) {
            *error = LastError();
            return -1;
        }
    }
}

int SendBytes(SocketHandle socket, const uint8_t* buffer, int count, int* error)
{
    for (;;) {
        ssize_t sent = send(socket, buffer, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<int>(sent);
        }
        int failure = errno;
        if (failure == EINTR) {
            continue;   // interrupted before anything was sent
        }
        // A blocking send only reports EAGAIN when its SO_SNDTIMEO has run out.
        *error = (failure == EAGAIN) ? kWsaEtimedout : WinSockErrorFromErrno(failure);
        return -1;
    }
}

int CloseSocket(SocketHandle socket)
{
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (close(socket) != 0 && errno != EINTR) {
        return LastError();
    }
    return 0;
}

int ShutdownSocket(SocketHandle socket)
{
    if (shutdown(socket, SHUT_RDWR) != 0) {
        return LastError();
    }
    return 0;
}

int ShutdownReceive(SocketHandle socket)
{
    if (shutdown(socket, SHUT_RD) != 0) {
        return LastError();
    }
    return 0;
}

bool GetLocalHostName(char* name, int nameSize)
{
    if (gethostname(name, static_cast<size_t>(nameSize)) != 0) {
        name[0] = '\0';
        return false;
    }
    name[nameSize - 1] = '\0';   // gethostname need not terminate a cut name
    return true;
}

bool LowPortsNeedPrivilege()
{
    return true;
}
