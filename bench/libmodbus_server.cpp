// The reference row of the load benchmark: libmodbus's own server, as its examples build it. One
// thread, select over the listening socket and up to a few connections, modbus_receive and
// modbus_reply against a mapping of 65,536 holding registers.
//
// usage: bench_libmodbus_server [--port N] [--bind 127.0.0.1] [--seconds 600]
// Port 0 picks a free port. Prints "listening on ADDRESS:PORT" once it accepts; stops on SIGTERM,
// SIGINT or when its lifetime is over.

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server_options.h"

namespace {

constexpr int kMaxConnections = 8;
constexpr int kRegisterCount = 65536;
// select wakes at least this often to notice a stop that arrived just before it was entered.
constexpr long kStopPollMicros = 200'000;

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

void InstallStopHandlers(unsigned lifetimeSeconds) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the signal must interrupt select
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGALRM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  alarm(lifetimeSeconds);
}

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

struct ServerState {
  modbus_t* context = nullptr;
  modbus_mapping_t* mapping = nullptr;
  int listener = -1;
  fd_set open{};
  int highest = -1;
  int connections = 0;
};

void AcceptConnection(ServerState& state) {
  const int fd = accept(state.listener, nullptr, nullptr);
  if (fd < 0) return;
  if (state.connections >= kMaxConnections || fd >= FD_SETSIZE) {
    close(fd);
    return;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  FD_SET(fd, &state.open);
  if (fd > state.highest) state.highest = fd;
  ++state.connections;
}

void CloseConnection(ServerState& state, int fd) {
  close(fd);
  FD_CLR(fd, &state.open);
  --state.connections;
}

// One request from one ready connection; a failed receive means the peer closed or sent garbage.
void ServeRequest(ServerState& state, int fd) {
  uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
  modbus_set_socket(state.context, fd);
  const int length = modbus_receive(state.context, request);
  if (length > 0) {
    if (modbus_reply(state.context, request, length, state.mapping) == -1) CloseConnection(state, fd);
  } else if (length == -1) {
    CloseConnection(state, fd);
  }
}

void Serve(ServerState& state) {
  while (!stopRequested) {
    fd_set ready = state.open;
    timeval timeout{0, kStopPollMicros};
    int count = select(state.highest + 1, &ready, nullptr, nullptr, &timeout);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      std::perror("bench_libmodbus_server: select");
      return;
    }
    for (int fd = 0; fd <= state.highest && count > 0; ++fd) {
      if (!FD_ISSET(fd, &ready)) continue;
      --count;
      if (fd == state.listener) {
        AcceptConnection(state);
      } else {
        ServeRequest(state, fd);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* bindAddress = "127.0.0.1";
  long port = 0;
  long seconds = 600;
  if (!ParseOptions(argc, argv, bindAddress, port, seconds)) {
    std::fprintf(stderr, "usage: bench_libmodbus_server [--port N] [--bind 127.0.0.1] [--seconds 600]\n");
    return 2;
  }
  InstallStopHandlers(static_cast<unsigned>(seconds));

  ServerState state;
  state.context = modbus_new_tcp(bindAddress, static_cast<int>(port));
  state.mapping = modbus_mapping_new(0, 0, kRegisterCount, 0);
  if (state.context == nullptr || state.mapping == nullptr) {
    std::fprintf(stderr, "bench_libmodbus_server: %s\n", modbus_strerror(errno));
    return 1;
  }
  state.listener = modbus_tcp_listen(state.context, kMaxConnections);
  if (state.listener < 0) {
    std::fprintf(stderr, "bench_libmodbus_server: cannot listen: %s\n", modbus_strerror(errno));
    return 1;
  }
  std::printf("listening on %s:%d\n", bindAddress, BoundPort(state.listener));
  std::fflush(stdout);
  FD_ZERO(&state.open);
  FD_SET(state.listener, &state.open);
  state.highest = state.listener;

  Serve(state);

  for (int fd = 0; fd <= state.highest; ++fd) {
    if (FD_ISSET(fd, &state.open)) close(fd);
  }
  modbus_mapping_free(state.mapping);
  modbus_free(state.context);
  return 0;
}
