#include "support/test_sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sockets/address_records.h"
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
    socklen_t length = 0;
    if (!FillSocketAddress(address, port, &storage, &length)) {
        *error = kWsaEinval;
        return kNoSocket;
    }
    const AddressFamily family = storage.ss_family == AF_INET6 ? AddressFamily::kIpv6 : AddressFamily::kIpv4;
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
