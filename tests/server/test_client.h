#pragma once

#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "log/capturing_log_target.h"
#include "platform/socket.h"
#include "support/test_sockets.h"

// A raw Modbus/TCP client over loopback for framing tests: every wait is bounded.
class TestClient {
public:
    TestClient() = default;
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;
    ~TestClient() { Close(); }

    bool Connect(uint16_t port, int receiveBufferBytes = 0)
    {
        int error = 0;
        socket_ = ConnectTcp("127.0.0.1", port, &error, receiveBufferBytes);
        if (socket_ == kNoSocket) {
            return false;
        }
        SetNoDelay(socket_);
        LocalPort(socket_, &localPort_);
        return true;
    }

    void Close()
    {
        if (socket_ != kNoSocket) {
            CloseSocket(socket_);
            socket_ = kNoSocket;
        }
    }

    bool Send(const std::vector<uint8_t>& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            int error = 0;
            int sent = SendBytes(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), &error);
            if (sent <= 0) {
                return false;
            }
            done += static_cast<size_t>(sent);
        }
        return true;
    }

    // Exactly `count` bytes within `milliseconds`; false on time-out, close or error.
    bool Receive(uint8_t* buffer, int count, int milliseconds = 5000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (count > 0) {
            int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
            if (left <= 0 || !WaitReadable(socket_, left)) {
                return false;
            }
            int error = 0;
            int received = ReceiveNow(socket_, buffer, count, &error);
            if (received <= 0) {
                if (received < 0 && error == 10035) {
                    continue;
                }
                return false;
            }
            buffer += received;
            count -= received;
        }
        return true;
    }

    // One response ADU (header and the rest its length field announces); empty on failure.
    std::vector<uint8_t> ReceiveResponse(int milliseconds = 5000)
    {
        std::vector<uint8_t> adu(7);
        if (!Receive(adu.data(), 7, milliseconds)) {
            return {};
        }
        int rest = ((adu[4] << 8) | adu[5]) - 1;
        if (rest < 1 || rest > 253) {
            return {};
        }
        adu.resize(7 + static_cast<size_t>(rest));
        if (!Receive(adu.data() + 7, rest, milliseconds)) {
            return {};
        }
        return adu;
    }

    // True when the server closes the connection within `milliseconds` without sending anything.
    bool ClosedWithoutData(int milliseconds = 5000)
    {
        if (!WaitReadable(socket_, milliseconds)) {
            return false;
        }
        uint8_t byte = 0;
        int error = 0;
        int received = ReceiveNow(socket_, &byte, 1, &error);
        return received == 0 || (received < 0 && error != 10035);
    }

    // True when nothing at all arrives within `milliseconds`.
    bool Silent(int milliseconds) { return !WaitReadable(socket_, milliseconds); }

    SocketHandle Socket() const { return socket_; }
    uint16_t LocalPortNumber() const { return localPort_; }

    // The server's socket number for this connection, read from its accept line (bounded wait).
    int ServerSocket(CapturingLogTarget& log, int milliseconds = 5000)
    {
        std::regex accepted("Connection accepted on socket (\\d+) from 127\\.0\\.0\\.1:" + std::to_string(localPort_));
        std::string number = log.WaitForMatch(accepted, milliseconds);
        return number.empty() ? -1 : std::stoi(number);
    }

private:
    SocketHandle socket_ = kNoSocket;
    uint16_t localPort_ = 0;
};

// Read Holding Registers (code 3) as one request ADU.
inline std::vector<uint8_t> ReadRegistersRequest(uint16_t transaction, uint8_t unit, uint16_t address, uint16_t quantity)
{
    return {static_cast<uint8_t>(transaction >> 8), static_cast<uint8_t>(transaction), 0, 0, 0, 6, unit, 3,
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(quantity >> 8),
            static_cast<uint8_t>(quantity)};
}

inline uint16_t TransactionOf(const std::vector<uint8_t>& adu)
{
    return static_cast<uint16_t>((adu[0] << 8) | adu[1]);
}

inline int LengthFieldOf(const std::vector<uint8_t>& adu)
{
    return (adu[4] << 8) | adu[5];
}
