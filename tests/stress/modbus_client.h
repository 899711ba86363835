#pragma once

// A small Modbus/TCP client on raw sockets, so that scenarios control every byte and every pause:
// request builders for the eight function codes, the exact responses a correct server gives, and
// a connection with bounded sends and receives.

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The whole ADU: MBAP header (length field = PDU size + 1) and the PDU.
Bytes MakeAdu(uint16_t transactionId, uint8_t unitId, const Bytes& pdu);

Bytes ReadCoilsPdu(uint16_t address, uint16_t quantity);                  // code 1
Bytes ReadRegistersPdu(uint16_t address, uint16_t quantity);              // code 3
Bytes WriteCoilPdu(uint16_t address, bool on);                             // code 5
Bytes WriteRegisterPdu(uint16_t address, uint16_t value);                  // code 6
Bytes WriteCoilsPdu(uint16_t address, const std::vector<uint8_t>& coils);  // code 15
Bytes WriteRegistersPdu(uint16_t address, const std::vector<uint16_t>& values);   // code 16
Bytes MaskWritePdu(uint16_t address, uint16_t andMask, uint16_t orMask);   // code 22
Bytes ReadWriteRegistersPdu(uint16_t readAddress, uint16_t readQuantity, uint16_t writeAddress,
                            const std::vector<uint16_t>& values);          // code 23

// What a correct server answers to `request` (a whole ADU):
// the echo of a write (first 12 bytes, or 14 for code 22, with the length field set),
Bytes EchoResponse(const Bytes& request);
// a register read (codes 3 and 23) with these values,
Bytes RegistersResponse(const Bytes& request, const std::vector<uint16_t>& values);
// a coil read (code 1) with these coil values (0/1),
Bytes CoilsResponse(const Bytes& request, const std::vector<uint8_t>& coils);
// an exception.
Bytes ExceptionResponse(const Bytes& request, uint8_t exceptionCode);

// Masked write as the table applies it.
inline uint16_t MaskedValue(uint16_t cell, uint16_t andMask, uint16_t orMask)
{
    return static_cast<uint16_t>((cell & andMask) | (orMask & ~andMask));
}

std::string Hex(const Bytes& bytes);

enum class IoResult { kOk, kClosed, kTimeout, kError };
const char* IoResultText(IoResult result);

class ModbusConnection {
public:
    ModbusConnection() = default;
    ModbusConnection(const ModbusConnection&) = delete;
    ModbusConnection& operator=(const ModbusConnection&) = delete;
    ModbusConnection(ModbusConnection&& other) noexcept;
    ModbusConnection& operator=(ModbusConnection&& other) noexcept;
    ~ModbusConnection();

    // receiveBuffer > 0 shrinks SO_RCVBUF before connecting (a client that reads slowly fills up
    // sooner). The connect completes as soon as the server's backlog holds it.
    bool Connect(uint16_t port, int timeoutMs = 3000, int receiveBuffer = 0);
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    uint16_t LocalPort() const { return localPort_; }

    IoResult SendAll(const Bytes& bytes, int timeoutMs = 3000);
    IoResult SendAll(const uint8_t* bytes, size_t count, int timeoutMs);
    // Sends what fits without waiting; the count sent, -1 on failure.
    long SendSome(const uint8_t* bytes, size_t count);
    // For a client that never reads: sends `request` over and over until the server has stopped
    // taking requests for quietMs. By then the server is blocked in a send, since it reads a request
    // only after it has sent the last response. The quiet time must cover the server working
    // through a full receive window: the window reopens only after some 64 KB are read. False
    // when the connection failed or giveUpMs passed first.
    bool FloodUntilServerBlocks(const Bytes& request, int quietMs, int giveUpMs);
    IoResult ReceiveExact(uint8_t* buffer, size_t count, int timeoutMs);
    // One response ADU: the header, then exactly what its length field announces.
    IoResult ReceiveAdu(Bytes* adu, int timeoutMs);
    // Sends the request and receives one ADU.
    IoResult Transact(const Bytes& request, Bytes* response, int timeoutMs = 5000);
    // Waits for the server to end the connection (end of stream or reset), discarding what
    // arrives; kOk when it did within the time.
    IoResult WaitClosedByPeer(int timeoutMs);
    // True when the peer has closed or reset, without reading (for clients that never read).
    bool PeerHungUp(int timeoutMs);

    void ShutdownWrite();
    // Ends both directions without giving up the descriptor, so that another thread blocked in a
    // send or receive on it returns at once.
    void ShutdownBoth();
    void Close();
    // Closes with an immediate reset instead of the orderly end.
    void Reset();

private:
    int fd_ = -1;
    uint16_t localPort_ = 0;
};
