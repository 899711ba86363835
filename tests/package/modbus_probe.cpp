#include "modbus_probe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kMbapHeaderLength = 7;

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

uint16_t BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

int BindLoopbackPortZero() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = LoopbackAddress(0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

uint16_t PickFreeLoopbackPort() {
  int fd = BindLoopbackPortZero();
  if (fd < 0) {
    ADD_FAILURE() << "cannot bind 127.0.0.1:0: " << std::strerror(errno);
    return 0;
  }
  uint16_t port = BoundPort(fd);
  close(fd);
  return port;
}

PortHolder::PortHolder() {
  fd_ = BindLoopbackPortZero();
  if (fd_ < 0 || listen(fd_, 1) != 0) {
    ADD_FAILURE() << "cannot hold a loopback port: " << std::strerror(errno);
    return;
  }
  port_ = BoundPort(fd_);
}

PortHolder::~PortHolder() {
  if (fd_ >= 0) close(fd_);
}

ModbusProbe::ModbusProbe(uint16_t port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(port);
  if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to 127.0.0.1:" << port << ": " << std::strerror(errno);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return;
  }
  localPort_ = BoundPort(fd_);
}

ModbusProbe::~ModbusProbe() {
  if (fd_ >= 0) close(fd_);
}

bool ModbusProbe::ReadExactly(Bytes& into, size_t count,
                              std::chrono::steady_clock::time_point deadline) {
  size_t wanted = into.size() + count;
  while (into.size() < wanted) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd readable{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) return false;
    uint8_t buffer[260];
    ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, wanted - into.size()), 0);
    if (got <= 0) return false;
    into.insert(into.end(), buffer, buffer + got);
  }
  return true;
}

Bytes ModbusProbe::Transact(const Bytes& request, std::chrono::milliseconds limit) {
  Bytes response;
  if (fd_ < 0) return response;
  if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    ADD_FAILURE() << "send: " << std::strerror(errno);
    return response;
  }
  auto deadline = std::chrono::steady_clock::now() + limit;
  if (!ReadExactly(response, kMbapHeaderLength, deadline)) return response;
  // The length field counts the unit identifier, already read, and the PDU after it.
  size_t length = (static_cast<size_t>(response[4]) << 8) | response[5];
  if (length >= 1) ReadExactly(response, length - 1, deadline);
  return response;
}
