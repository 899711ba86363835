#include "support/test_sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/winsock_error.h"

namespace {

int LastError()
{
    return WinSockErrorFromErrno(errno);
}

}  // namespace

SocketHandle ConnectTcp(const char* address, uint16_t port, int* error, int receiveBufferBytes)
{
    sockaddr_storage storage;
    std::memset(&storage, 0, sizeof storage);
    sockaddr_in* ipv4 = reinterpret_cast<sockaddr_in*>(&storage);
    sockaddr_in6* ipv6 = reinterpret_cast<sockaddr_in6*>(&storage);
    socklen_t length = 0;
    AddressFamily family = AddressFamily::kIpv4;
    if (inet_pton(AF_INET, address, &ipv4->sin_addr) == 1) {
        ipv4->sin_family = AF_INET;
        ipv4->sin_port = htons(port);
        length = sizeof *ipv4;
    } else if (inet_pton(AF_INET6, address, &ipv6->sin6_addr) == 1) {
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(port);
        length = sizeof *ipv6;
        family = AddressFamily::kIpv6;
    } else {
        *error = kWsaEinval;
        return kNoSocket;
    }
    SocketHandle created = CreateTcpSocket(error, family);
    if (created == kNoSocket) {
        return kNoSocket;
    }
    if (receiveBufferBytes > 0) {
        setsockopt(created, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    if (connect(created, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        *error = LastError();
        close(created);
        return kNoSocket;
    }
    return created;
}

bool HasIpv6Loopback()
{
    int error = 0;
    SocketHandle probe = CreateTcpSocket(&error, AddressFamily::kIpv6);
    if (probe == kNoSocket) {
        return false;
    }
    const bool bound = BindSocket(probe, "::1", 0) == 0;
    CloseSocket(probe);
    return bound;
}

int SetAbortiveClose(SocketHandle socket)
{
    linger abortive{1, 0};
    if (setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) != 0) {
        return LastError();
    }
    return 0;
}

int CreateStreamSocketPair(SocketHandle ends[2])
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return LastError();
    }
    return 0;
}

int ReceiveNow(SocketHandle socket, uint8_t* buffer, int count, int* error)
{
    for (;;) {
        ssize_t received = recv(socket, buffer, static_cast<size_t>(count), MSG_DONTWAIT);
        if (received >= 0) {
            return static_cast<int>(received);
        }
        if (errno != EINTR) {
            *error = LastError();
            return -1;
        }
    }
}

bool WaitReadable(SocketHandle socket, int milliseconds)
{
    pollfd watched{socket, POLLIN, 0};
    return poll(&watched, 1, milliseconds) > 0;
}
