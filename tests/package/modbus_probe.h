#pragma once

// A minimal raw-socket Modbus/TCP client on 127.0.0.1 for the install tests: whole ADUs in,
// whole ADUs out, every wait bounded.

#include <chrono>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Binds 127.0.0.1 port 0 and answers the port the system chose (the socket is closed again).
uint16_t PickFreeLoopbackPort();

// A listening socket on 127.0.0.1 that holds a port for as long as it lives.
class PortHolder {
 public:
  PortHolder();
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

class ModbusProbe {
 public:
  explicit ModbusProbe(uint16_t port);  // connects to 127.0.0.1:port, fails the test if it cannot
  ~ModbusProbe();
  ModbusProbe(const ModbusProbe&) = delete;
  ModbusProbe& operator=(const ModbusProbe&) = delete;

  bool Connected() const { return fd_ >= 0; }
  uint16_t LocalPort() const { return localPort_; }

  // Sends `request` and reads one response ADU: the 7-byte MBAP header, then as many bytes as
  // its length field announces. Answers what arrived (short on time-out or close).
  Bytes Transact(const Bytes& request, std::chrono::milliseconds limit = std::chrono::seconds(5));

 private:
  bool ReadExactly(Bytes& into, size_t count, std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  uint16_t localPort_ = 0;
};
