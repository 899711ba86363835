// The installed headless server, run from the staged tree on a free loopback port: it answers
// real Modbus/TCP requests, logs what the manual page says it logs, and ends with the exit
// statuses the manual page lists.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include "installed_paths.h"
#include "modbus_probe.h"
#include "support/child_process.h"

namespace {

using namespace std::chrono_literals;

const std::string kServer = Installed("bin/parvane-cli");
constexpr auto kReadyLimit = 10s;
constexpr auto kStopLimit = 10s;

std::vector<std::string> LoopbackArguments(uint16_t port) {
  return {"--port", std::to_string(port), "--bind", "127.0.0.1"};
}

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

// Every line on standard output is a log line: time of day to the millisecond, a tab, a message.
void ExpectOnlyLogLines(const std::string& output) {
  const std::regex logLine(R"(([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3}\t.+)");
  size_t start = 0;
  size_t end;
  while ((end = output.find('\n', start)) != std::string::npos) {
    std::string line = output.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(line, logLine)) << "not a log line: " << line;
    start = end + 1;
  }
  EXPECT_EQ(start, output.size()) << "unterminated last line";
}

std::string LastLine(std::string output) {
  if (!output.empty() && output.back() == '\n') output.pop_back();
  size_t before = output.find_last_of('\n');
  return before == std::string::npos ? output : output.substr(before + 1);
}

struct Exchange {
  const char* what;
  Bytes request;
  Bytes response;
};

// Write one register, read it back among its zero neighbours, and ask for a function code the
// server does not implement; the unit identifier is echoed whatever it is.
const std::vector<Exchange> kExchanges = {
    {"write single register 7 = 0x1234",
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x07, 0x12, 0x34},
     {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x07, 0x12, 0x34}},
    {"read holding registers 5 to 7: 0, 0, 0x1234",
     {0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x05, 0x00, 0x03},
     {0x00, 0x02, 0x00, 0x00, 0x00, 0x09, 0x01, 0x03, 0x06, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34}},
    {"read input register 0: 0",
     {0xBE, 0xEF, 0x00, 0x00, 0x00, 0x06, 0x11, 0x04, 0x00, 0x00, 0x00, 0x01},
     {0xBE, 0xEF, 0x00, 0x00, 0x00, 0x05, 0x11, 0x04, 0x02, 0x00, 0x00}},
    {"read exception status (code 7) is Illegal Function",
     {0xBE, 0xF0, 0x00, 0x00, 0x00, 0x02, 0x11, 0x07},
     {0xBE, 0xF0, 0x00, 0x00, 0x00, 0x03, 0x11, 0x87, 0x01}},
};

}  // namespace

class InstalledServerStop : public ::testing::TestWithParam<int> {};

TEST_P(InstalledServerStop, AnswersRequestsLogsThemAndStopsInOrder) {
  const int stopSignal = GetParam();
  uint16_t port = PickFreeLoopbackPort();
  ChildProcess server(kServer, LoopbackArguments(port));

  auto started = server.WaitForLine("Modbus Server started on", kReadyLimit);
  ASSERT_TRUE(started) << "no start line; stdout:\n" << server.Output() << "stderr:\n" << server.Errors();
  EXPECT_NE(started->find("\tModbus Server started on " + HostName() + " <"), std::string::npos)
      << *started;

  std::string socketNumber;
  {
    ModbusProbe client(port);
    ASSERT_TRUE(client.Connected());
    auto accepted = server.WaitForLine("Connection accepted on socket", kReadyLimit);
    ASSERT_TRUE(accepted);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(
        *accepted, found,
        std::regex(R"(Connection accepted on socket (\d+) from 127\.0\.0\.1:(\d+)$)")))
        << *accepted;
    EXPECT_EQ(found[2], std::to_string(client.LocalPort()));
    socketNumber = found[1];

    for (const Exchange& exchange : kExchanges) {
      SCOPED_TRACE(exchange.what);
      EXPECT_EQ(client.Transact(exchange.request), exchange.response);
    }
  }  // the client hangs up
  ASSERT_TRUE(server.WaitForLine("Client on socket " + socketNumber + " disconnected", kReadyLimit));
  ASSERT_TRUE(server.WaitForLine("Socket " + socketNumber + " closed", kReadyLimit));

  // A client still connected when the stop comes is ended before the server reports its stop.
  ModbusProbe lingering(port);
  ASSERT_TRUE(lingering.Connected());
  auto accepted = server.WaitForLine("Connection accepted on socket", kReadyLimit);
  ASSERT_TRUE(accepted);
  server.Signal(stopSignal);
  ASSERT_TRUE(server.WaitForLine("closed", kStopLimit)) << server.Output();
  EXPECT_EQ(server.WaitForExit(kStopLimit), 0) << server.Output() << server.Errors();

  EXPECT_NE(LastLine(server.Output()).find("\tModbus Server stopped"), std::string::npos)
      << server.Output();
  ExpectOnlyLogLines(server.Output());
}

INSTANTIATE_TEST_SUITE_P(OnSignal, InstalledServerStop, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGTERM ? "Sigterm" : "Sigint");
                         });

TEST(InstalledServer, PortInUseFailsTheStartWithStatusOne) {
  PortHolder taken;
  ChildResult result = RunToEnd(kServer, LoopbackArguments(taken.Port()), {}, kStopLimit);
  EXPECT_EQ(result.status, 1) << result.output << result.errors;
  EXPECT_NE(result.output.find(
                "\tERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use\n"),
            std::string::npos)
      << result.output;
  EXPECT_EQ(result.output.find("Modbus Server started"), std::string::npos);
  ExpectOnlyLogLines(result.output);
}

// What an ordinary user meets on the default port, as the manual page and README describe it.
TEST(InstalledServer, PrivilegedPortIsRefusedWithoutTheCapability) {
  std::ifstream unprivilegedStart("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstUnprivilegedPort = 1024;
  unprivilegedStart >> firstUnprivilegedPort;
  if (firstUnprivilegedPort <= 502) {
    GTEST_SKIP() << "this system lets anyone bind port 502 (ip_unprivileged_port_start = "
                 << firstUnprivilegedPort << ")";
  }
  ChildOptions asNobody;
  asNobody.dropToNobody = true;
  ChildResult result = RunToEnd(kServer, {"--port", "502", "--bind", "127.0.0.1"}, asNobody, kStopLimit);
  if (result.status == 126 || result.status == 127) {
    GTEST_SKIP() << "the staged program cannot be run as an unprivileged user here";
  }
  EXPECT_EQ(result.status, 1) << result.output << result.errors;
  EXPECT_NE(result.output.find(
                "\tERROR: Unable to bind listen socket : WSAEACCES: Permission denied\n"),
            std::string::npos)
      << result.output;
  // The hint the manual page promises names a way out.
  EXPECT_NE(result.errors.find("--port"), std::string::npos) << result.errors;
  EXPECT_NE(result.errors.find("cap_net_bind_service"), std::string::npos) << result.errors;
  // setcap needs the program's real file, whatever name it was started by.
  const std::string realPath = std::filesystem::canonical(kServer).string();
  EXPECT_NE(result.errors.find("=+ep " + realPath + "'"), std::string::npos) << result.errors;
}
