#include "modbus_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

void PutWord(Bytes* bytes, uint16_t value)
{
    bytes->push_back(static_cast<uint8_t>(value >> 8));
    bytes->push_back(static_cast<uint8_t>(value & 0xFF));
}

void SetLengthField(Bytes* adu)
{
    uint16_t length = static_cast<uint16_t>(adu->size() - 6);
    (*adu)[4] = static_cast<uint8_t>(length >> 8);
    (*adu)[5] = static_cast<uint8_t>(length & 0xFF);
}

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for `events` on fd until the deadline; the poll revents, 0 on time-out, -1 on failure.
int WaitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        int64_t left = deadline - Now();
        if (left < 0) {
            left = 0;
        }
        pollfd entry{fd, events, 0};
        int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return -1;
        }
        return ready == 0 ? 0 : entry.revents;
    }
}

}  // namespace

Bytes MakeAdu(uint16_t transactionId, uint8_t unitId, const Bytes& pdu)
{
    Bytes adu;
    PutWord(&adu, transactionId);
    PutWord(&adu, 0);
    PutWord(&adu, static_cast<uint16_t>(pdu.size() + 1));
    adu.push_back(unitId);
    adu.insert(adu.end(), pdu.begin(), pdu.end());
    return adu;
}

Bytes ReadCoilsPdu(uint16_t address, uint16_t quantity)
{
    Bytes pdu{1};
    PutWord(&pdu, address);
    PutWord(&pdu, quantity);
    return pdu;
}

Bytes ReadRegistersPdu(uint16_t address, uint16_t quantity)
{
    Bytes pdu{3};
    PutWord(&pdu, address);
    PutWord(&pdu, quantity);
    return pdu;
}

Bytes WriteCoilPdu(uint16_t address, bool on)
{
    Bytes pdu{5};
    PutWord(&pdu, address);
    PutWord(&pdu, on ? 0xFF00 : 0x0000);
    return pdu;
}

Bytes WriteRegisterPdu(uint16_t address, uint16_t value)
{
    Bytes pdu{6};
    PutWord(&pdu, address);
    PutWord(&pdu, value);
    return pdu;
}

Bytes WriteCoilsPdu(uint16_t address, const std::vector<uint8_t>& coils)
{
    Bytes pdu{15};
    PutWord(&pdu, address);
    PutWord(&pdu, static_cast<uint16_t>(coils.size()));
    size_t byteCount = (coils.size() + 7) / 8;
    pdu.push_back(static_cast<uint8_t>(byteCount));
    for (size_t i = 0; i < byteCount; ++i) {
        uint8_t packed = 0;
        for (size_t bit = 0; bit < 8 && i * 8 + bit < coils.size(); ++bit) {
            packed |= static_cast<uint8_t>((coils[i * 8 + bit] ? 1 : 0) << bit);
        }
        pdu.push_back(packed);
    }
    return pdu;
}

Bytes WriteRegistersPdu(uint16_t address, const std::vector<uint16_t>& values)
{
    Bytes pdu{16};
    PutWord(&pdu, address);
    PutWord(&pdu, static_cast<uint16_t>(values.size()));
    pdu.push_back(static_cast<uint8_t>(values.size() * 2));
    for (uint16_t value : values) {
        PutWord(&pdu, value);
    }
    return pdu;
}

Bytes MaskWritePdu(uint16_t address, uint16_t andMask, uint16_t orMask)
{
    Bytes pdu{22};
    PutWord(&pdu, address);
    PutWord(&pdu, andMask);
    PutWord(&pdu, orMask);
    return pdu;
}

Bytes ReadWriteRegistersPdu(uint16_t readAddress, uint16_t readQuantity, uint16_t writeAddress,
                            const std::vector<uint16_t>& values)
{
    Bytes pdu{23};
    PutWord(&pdu, readAddress);
    PutWord(&pdu, readQuantity);
    PutWord(&pdu, writeAddress);
    PutWord(&pdu, static_cast<uint16_t>(values.size()));
    pdu.push_back(static_cast<uint8_t>(values.size() * 2));
    for (uint16_t value : values) {
        PutWord(&pdu, value);
    }
    return pdu;
}

Bytes EchoResponse(const Bytes& request)
{
    size_t size = request.size() > 7 && request[7] == 22 ? 14 : 12;
    Bytes response(request.begin(), request.begin() + static_cast<long>(size));
    SetLengthField(&response);
    return response;
}

Bytes RegistersResponse(const Bytes& request, const std::vector<uint16_t>& values)
{
    Bytes response(request.begin(), request.begin() + 8);
    response.push_back(static_cast<uint8_t>(values.size() * 2));
    for (uint16_t value : values) {
        PutWord(&response, value);
    }
    SetLengthField(&response);
    return response;
}

Bytes CoilsResponse(const Bytes& request, const std::vector<uint8_t>& coils)
{
    Bytes response(request.begin(), request.begin() + 8);
    size_t byteCount = (coils.size() + 7) / 8;
    response.push_back(static_cast<uint8_t>(byteCount));
    for (size_t i = 0; i < byteCount; ++i) {
        uint8_t packed = 0;
        for (size_t bit = 0; bit < 8 && i * 8 + bit < coils.size(); ++bit) {
            packed |= static_cast<uint8_t>((coils[i * 8 + bit] ? 1 : 0) << bit);
        }
        response.push_back(packed);
    }
    SetLengthField(&response);
    return response;
}

Bytes ExceptionResponse(const Bytes& request, uint8_t exceptionCode)
{
    Bytes response(request.begin(), request.begin() + 8);
    response[7] = static_cast<uint8_t>(response[7] | 0x80);
    response.push_back(exceptionCode);
    SetLengthField(&response);
    return response;
}

std::string Hex(const Bytes& bytes)
{
    std::string text;
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += pair;
        if (i == 40 && bytes.size() > 48) {
            text += " ...";
            break;
        }
    }
    return text;
}

const char* IoResultText(IoResult result)
{
    switch (result) {
    case IoResult::kOk:
        return "ok";
    case IoResult::kClosed:
        return "closed by the server";
    case IoResult::kTimeout:
        return "timed out";
    case IoResult::kError:
        return "socket error";
    }
    return "?";
}

ModbusConnection::ModbusConnection(ModbusConnection&& other) noexcept
    : fd_(other.fd_), localPort_(other.localPort_)
{
    other.fd_ = -1;
}

ModbusConnection& ModbusConnection::operator=(ModbusConnection&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        localPort_ = other.localPort_;
        other.fd_ = -1;
    }
    return *this;
}

ModbusConnection::~ModbusConnection()
{
    Close();
}

bool ModbusConnection::Connect(uint16_t port, int timeoutMs, int receiveBuffer)
{
    Close();
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    if (receiveBuffer > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int64_t deadline = Now() + timeoutMs;
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return false;
        }
        int events = WaitFor(fd_, POLLOUT, deadline);
        int error = 0;
        socklen_t size = sizeof error;
        if (events <= 0 || getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            Close();
            return false;
        }
    }
    sockaddr_in local{};
    socklen_t size = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    localPort_ = ntohs(local.sin_port);
    return true;
}

IoResult ModbusConnection::SendAll(const Bytes& bytes, int timeoutMs)
{
    return SendAll(bytes.data(), bytes.size(), timeoutMs);
}

IoResult ModbusConnection::SendAll(const uint8_t* bytes, size_t count, int timeoutMs)
{
    int64_t deadline = Now() + timeoutMs;
    size_t sent = 0;
    while (sent < count) {
        ssize_t done = send(fd_, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (done > 0) {
            sent += static_cast<size_t>(done);
            continue;
        }
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int events = WaitFor(fd_, POLLOUT, deadline);
            if (events == 0) {
                return IoResult::kTimeout;
            }
            if (events < 0) {
                return IoResult::kError;
            }
            continue;
        }
        return errno == EPIPE || errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
    }
    return IoResult::kOk;
}

long ModbusConnection::SendSome(const uint8_t* bytes, size_t count)
{
    ssize_t done = send(fd_, bytes, count, MSG_NOSIGNAL);
    if (done < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return 0;
    }
    return done;
}

bool ModbusConnection::FloodUntilServerBlocks(const Bytes& request, int quietMs, int giveUpMs)
{
    Bytes burst;
    for (int i = 0; i < 64; ++i) {
        burst.insert(burst.end(), request.begin(), request.end());
    }
    int64_t giveUp = Now() + giveUpMs;
    int64_t lastProgress = Now();
    int lastUnsent = -1;
    while (Now() - lastProgress < quietMs) {
        if (Now() > giveUp) {
            return false;
        }
        long sent = SendSome(burst.data(), burst.size());
        if (sent < 0) {
            return false;
        }
        // Progress is the server taking bytes off our send queue, or room for more.
        int unsent = 0;
        ioctl(fd_, SIOCOUTQ, &unsent);
        if (sent > 0 || unsent != lastUnsent) {
            lastProgress = Now();
            lastUnsent = unsent;
        }
        if (sent == 0) {
            WaitFor(fd_, POLLOUT, Now() + 10);
        }
    }
    return true;
}

IoResult ModbusConnection::ReceiveExact(uint8_t* buffer, size_t count, int timeoutMs)
{
    int64_t deadline = Now() + timeoutMs;
    size_t received = 0;
    while (received < count) {
        ssize_t done = recv(fd_, buffer + received, count - received, 0);
        if (done > 0) {
            received += static_cast<size_t>(done);
            continue;
        }
        if (done == 0) {
            return IoResult::kClosed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            int events = WaitFor(fd_, POLLIN, deadline);
            if (events == 0) {
                return IoResult::kTimeout;
            }
            if (events < 0) {
                return IoResult::kError;
            }
            continue;
        }
        return errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
    }
    return IoResult::kOk;
}

IoResult ModbusConnection::ReceiveAdu(Bytes* adu, int timeoutMs)
{
    adu->assign(7, 0);
    IoResult result = ReceiveExact(adu->data(), 7, timeoutMs);
    if (result != IoResult::kOk) {
        return result;
    }
    size_t rest = static_cast<size_t>(((*adu)[4] << 8) | (*adu)[5]);
    if (rest < 2 || rest > 254) {
        return IoResult::kError;   // no correct server sends such a header
    }
    adu->resize(6 + rest);
    return ReceiveExact(adu->data() + 7, rest - 1, timeoutMs);
}

IoResult ModbusConnection::Transact(const Bytes& request, Bytes* response, int timeoutMs)
{
    IoResult result = SendAll(request, timeoutMs);
    if (result != IoResult::kOk) {
        return result;
    }
    return ReceiveAdu(response, timeoutMs);
}

IoResult ModbusConnection::WaitClosedByPeer(int timeoutMs)
{
    int64_t deadline = Now() + timeoutMs;
    uint8_t sink[512];
    for (;;) {
        ssize_t done = recv(fd_, sink, sizeof sink, 0);
        if (done == 0 || (done < 0 && errno == ECONNRESET)) {
            return IoResult::kOk;
        }
        if (done > 0 || errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoResult::kError;
        }
        int events = WaitFor(fd_, POLLIN, deadline);
        if (events == 0) {
            return IoResult::kTimeout;
        }
        if (events < 0) {
            return IoResult::kError;
        }
    }
}

bool ModbusConnection::PeerHungUp(int timeoutMs)
{
    int events = WaitFor(fd_, POLLRDHUP, Now() + timeoutMs);
    return events > 0 && (events & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void ModbusConnection::ShutdownWrite()
{
    if (fd_ >= 0) {
        shutdown(fd_, SHUT_WR);
    }
}

void ModbusConnection::ShutdownBoth()
{
    if (fd_ >= 0) {
        shutdown(fd_, SHUT_RDWR);
    }
}

void ModbusConnection::Close()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void ModbusConnection::Reset()
{
    if (fd_ >= 0) {
        linger hard{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        Close();
    }
}
