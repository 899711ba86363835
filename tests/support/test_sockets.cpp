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

SocketHandle ConnectTcp(const char* dottedAddress, uint16_t port, int* error, int receiveBufferBytes)
{
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, dottedAddress, &address.sin_addr) != 1) {
        *error = kWsaEinval;
        return kNoSocket;
    }
    SocketHandle created = CreateTcpSocket(error);
    if (created == kNoSocket) {
        return kNoSocket;
    }
    if (receiveBufferBytes > 0) {
        setsockopt(created, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    if (connect(created, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
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
