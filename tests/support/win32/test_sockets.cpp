#include "support/test_sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "platform/sockets/address_records.h"
#include "platform/winsock_error.h"

// Sockets are kernel handles, which use their low 32 bits only: SocketHandle holds them.

namespace {

SOCKET Native(SocketHandle socket)
{
    return static_cast<SOCKET>(static_cast<uintptr_t>(static_cast<unsigned>(socket)));
}

}  // namespace

SocketHandle ConnectTcp(const char* address, uint16_t port, int* error, int receiveBufferBytes)
{
    sockaddr_storage storage;
    int length = 0;
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
        setsockopt(Native(created), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferBytes),
                   sizeof receiveBufferBytes);
    }
    if (connect(Native(created), reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        *error = WSAGetLastError();
        CloseSocket(created);
        return kNoSocket;
    }
    return created;
}

int SetAbortiveClose(SocketHandle socket)
{
    linger abortive{1, 0};
    if (setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive) !=
        0) {
        return WSAGetLastError();
    }
    return 0;
}

int CreateStreamSocketPair(SocketHandle ends[2])
{
    // Windows has no socketpair: a loopback connection through a listener that lives only as long
    // as this call.
    int error = 0;
    SocketHandle listener = CreateTcpSocket(&error);
    if (listener == kNoSocket) {
        return error;
    }
    uint16_t port = 0;
    if ((error = BindSocket(listener, "127.0.0.1", 0)) != 0 || (error = ListenOnSocket(listener)) != 0 ||
        (error = LocalPort(listener, &port)) != 0) {
        CloseSocket(listener);
        return error;
    }
    ends[0] = ConnectTcp("127.0.0.1", port, &error);
    if (ends[0] == kNoSocket) {
        CloseSocket(listener);
        return error;
    }
    SocketAddress peer{};
    ends[1] = AcceptConnection(listener, &peer, &error);
    CloseSocket(listener);
    if (ends[1] == kNoSocket) {
        CloseSocket(ends[0]);
        return error;
    }
    return 0;
}

int ReceiveNow(SocketHandle socket, uint8_t* buffer, int count, int* error)
{
    // A receive that is cancelled at once when it would have to wait: unlike a look with WSAPoll
    // first, it also reports a receiving side that has been shut down, as an end (0).
    WSABUF part{static_cast<ULONG>(count), reinterpret_cast<char*>(buffer)};
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = WSACreateEvent();
    DWORD received = 0;
    DWORD flags = 0;
    int failure = 0;
    if (WSARecv(Native(socket), &part, 1, &received, &flags, &overlapped, nullptr) != 0) {
        failure = WSAGetLastError();
        if (failure == WSA_IO_PENDING) {
            CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), &overlapped);
            failure = WSAGetOverlappedResult(Native(socket), &overlapped, &received, TRUE, &flags) ? 0
                                                                                                    : WSAGetLastError();
            if (failure == WSA_OPERATION_ABORTED) {
                failure = WSAEWOULDBLOCK;
            }
        }
    }
    WSACloseEvent(overlapped.hEvent);
    if (failure == 0) {
        return static_cast<int>(received);
    }
    if (failure == WSAESHUTDOWN) {
        return 0;
    }
    *error = failure;
    return -1;
}

bool WaitReadable(SocketHandle socket, int milliseconds)
{
    WSAPOLLFD watched{Native(socket), POLLRDNORM, 0};
    return WSAPoll(&watched, 1, milliseconds) > 0;
}
