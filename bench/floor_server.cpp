// The framing-only floor for the load benchmark: a Modbus/TCP server that keeps no tables and answers
// every well-formed request with a fixed valid response (code 3: the right byte count of zeros;
// code 16: the echo of address and quantity; any other code: exception 1). One thread per
// connection on plain blocking sockets, one recv and one send per request. What it measures is the
// cost of the client and the kernel alone: nothing Modbus-shaped can answer faster with the same
// client on the same machine.
//
// usage: bench_floor_server [--port N] [--bind 127.0.0.1] [--seconds 600]
// Port 0 picks a free port. Prints "listening on ADDRESS:PORT" once it accepts; stops on SIGTERM,
// SIGINT or when its lifetime is over, closing every connection first.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "server_options.h"

namespace {

constexpr size_t kMbapHeaderLength = 7;    // transaction, protocol, length (2 bytes each), unit
constexpr unsigned kMaxMbapLength = 254;   // unit identifier plus a PDU of at most 253 bytes
constexpr size_t kMaxAduLength = 260;
constexpr unsigned kMaxReadRegisters = 125;
constexpr unsigned kMaxWriteRegisters = 123;
constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kWriteMultipleRegisters = 16;
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalDataValue = 3;
constexpr size_t kMaxConnections = 64;
constexpr int kStopWaitMs = 2000;
constexpr int kStopPollMs = 200;

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

// The open connections, so that a stop can shut them down and wait for their threads.
struct ConnectionTable {
  std::mutex lock;  // guards sockets and active
  std::condition_variable allGone;
  std::array<int, kMaxConnections> sockets{};
  size_t active = 0;
};

ConnectionTable connectionTable;

unsigned ReadBigEndian16(const uint8_t* bytes) { return (bytes[0] << 8) | bytes[1]; }

void WriteBigEndian16(uint8_t* bytes, unsigned value) {
  bytes[0] = static_cast<uint8_t>(value >> 8);
  bytes[1] = static_cast<uint8_t>(value);
}

// Writes the response into out and returns its length. The MBAP header has been checked already.
size_t BuildFloorResponse(const uint8_t* request, size_t requestLength, uint8_t* out) {
  std::memcpy(out, request, kMbapHeaderLength);  // transaction, protocol 0, unit
  const uint8_t function = request[7];
  const size_t pduLength = requestLength - kMbapHeaderLength;
  size_t responsePdu = 0;
  uint8_t exception = 0;
  if (function == kReadHoldingRegisters) {
    const unsigned quantity = pduLength == 5 ? ReadBigEndian16(request + 10) : 0;
    if (quantity >= 1 && quantity <= kMaxReadRegisters) {
      out[7] = function;
      out[8] = static_cast<uint8_t>(2 * quantity);
      std::memset(out + 9, 0, 2 * quantity);
      responsePdu = 2 + 2 * quantity;
    } else {
      exception = kIllegalDataValue;
    }
  } else if (function == kWriteMultipleRegisters) {
    const unsigned quantity = pduLength >= 6 ? ReadBigEndian16(request + 10) : 0;
    const bool wellFormed = quantity >= 1 && quantity <= kMaxWriteRegisters && request[12] == 2 * quantity &&
                            pduLength == 6 + 2 * quantity;
    if (wellFormed) {
      std::memcpy(out + 7, request + 7, 5);  // function, address, quantity
      responsePdu = 5;
    } else {
      exception = kIllegalDataValue;
    }
  } else {
    exception = kIllegalFunction;
  }
  if (exception != 0) {
    out[7] = static_cast<uint8_t>(function | 0x80);
    out[8] = exception;
    responsePdu = 2;
  }
  WriteBigEndian16(out + 4, static_cast<unsigned>(responsePdu + 1));
  return kMbapHeaderLength + responsePdu;
}

bool SendAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    const ssize_t sent = send(fd, bytes, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

// Answers the requests on one connection until the peer closes it, sends something that is not
// Modbus/TCP, or the server stops. Reads whatever has arrived and answers every whole request in it.
void ServeConnection(size_t slot, int fd) {
  uint8_t input[4 * kMaxAduLength];
  uint8_t output[kMaxAduLength];
  size_t have = 0;
  bool open = true;
  while (open) {
    const ssize_t received = recv(fd, input + have, sizeof input - have, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) break;
    have += static_cast<size_t>(received);
    size_t used = 0;
    while (open && have - used >= kMbapHeaderLength) {
      const uint8_t* request = input + used;
      const unsigned mbapLength = ReadBigEndian16(request + 4);
      if (ReadBigEndian16(request + 2) != 0 || mbapLength < 2 || mbapLength > kMaxMbapLength) {
        open = false;
        break;
      }
      const size_t requestLength = 6 + mbapLength;
      if (have - used < requestLength) break;
      open = SendAll(fd, output, BuildFloorResponse(request, requestLength, output));
      used += requestLength;
    }
    std::memmove(input, input + used, have - used);
    have -= used;
  }
  std::lock_guard<std::mutex> guard(connectionTable.lock);
  close(fd);
  connectionTable.sockets[slot] = -1;
  --connectionTable.active;
  connectionTable.allGone.notify_all();
}

// Starts the connection's thread with the stop signals blocked, so that they always reach the
// accepting thread and interrupt its accept.
bool StartConnection(int fd) {
  size_t slot = kMaxConnections;
  {
    std::lock_guard<std::mutex> guard(connectionTable.lock);
    for (size_t i = 0; i < kMaxConnections && slot == kMaxConnections; ++i) {
      if (connectionTable.sockets[i] < 0) slot = i;
    }
    if (slot == kMaxConnections) return false;
    connectionTable.sockets[slot] = fd;
    ++connectionTable.active;
  }
  sigset_t stopSignals;
  sigset_t previous;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  std::thread(ServeConnection, slot, fd).detach();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return true;
}

void StopConnections() {
  std::unique_lock<std::mutex> guard(connectionTable.lock);
  for (int fd : connectionTable.sockets) {
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
  }
  connectionTable.allGone.wait_for(guard, std::chrono::milliseconds(kStopWaitMs),
                                   [] { return connectionTable.active == 0; });
}

void InstallStopHandlers(unsigned lifetimeSeconds) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the signal must interrupt accept
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGALRM, &action, nullptr);
  alarm(lifetimeSeconds);
}

int OpenListener(const char* bindAddress, uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (inet_pton(AF_INET, bindAddress, &address.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  std::printf("listening on %s:%u\n", bindAddress, ntohs(address.sin_port));
  std::fflush(stdout);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  const char* bindAddress = "127.0.0.1";
  long port = 0;
  long seconds = 600;
  if (!ParseOptions(argc, argv, bindAddress, port, seconds)) {
    std::fprintf(stderr, "usage: bench_floor_server [--port N] [--bind 127.0.0.1] [--seconds 600]\n");
    return 2;
  }
  connectionTable.sockets.fill(-1);
  InstallStopHandlers(static_cast<unsigned>(seconds));
  const int listener = OpenListener(bindAddress, static_cast<uint16_t>(port));
  if (listener < 0) {
    std::perror("bench_floor_server: cannot listen");
    return 1;
  }
  while (!stopRequested) {
    // A short poll before each accept: a stop signal that lands just before the accept is still
    // seen within a fifth of a second.
    pollfd waitForClient{listener, POLLIN, 0};
    if (poll(&waitForClient, 1, kStopPollMs) <= 0) continue;
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::perror("bench_floor_server: accept");
      break;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!StartConnection(fd)) close(fd);
  }
  close(listener);
  StopConnections();
  return 0;
}
