// The control interface through a real HTTP client (httplib's) and a real Modbus client (libmodbus)
// against parvane-cli run as a child process on loopback ports.

#include <dirent.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/control_server.h"
#include "control/headless_chromium.h"
#include "parvane_version.h"
#include "support/test_sockets.h"
#include "platform/socket.h"
#include "http_api_fixture.h"
#include "server/transaction_trace.h"
#include "support/child_process.h"
#include "support/test_sockets.h"

namespace {

using namespace control_test;

// The status line of one exchange on a raw connection, for a request that httplib's client would
// not send as written; "" when no answer came within 3 s.
std::string RawStatusLine(uint16_t port, const std::string& request)
{
    int error = 0;
    SocketHandle socket = ConnectTcp("127.0.0.1", port, &error);
    std::string answer;
    if (socket != kNoSocket && SendBytes(socket, reinterpret_cast<const uint8_t*>(request.data()),
                                         static_cast<int>(request.size()), &error) > 0 &&
        WaitReadable(socket, 3000)) {
        uint8_t buffer[512];
        int count = ReceiveNow(socket, buffer, sizeof buffer, &error);
        answer.assign(reinterpret_cast<char*>(buffer), count > 0 ? static_cast<size_t>(count) : 0);
    }
    CloseSocket(socket);
    return answer.substr(0, answer.find("\r\n"));
}

TEST_F(HttpApiTest, StatusShowsAConnectedClientsPeerAndCounters)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    uint16_t values[2];
    ASSERT_EQ(modbus_read_registers(client.context, 0, 2, values), 2);   // 12 bytes in, 13 out
    ASSERT_EQ(modbus_read_registers(client.context, 65535, 2, values), -1);   // exception 2: 12 in, 9 out

    Json status = GetWhen("/api/v1/status", [](const Json& s) {
        return s["connections"].size() == 1 && s["connections"][0]["rejectedRequests"] == 1;
    });
    EXPECT_EQ(status["version"], PARVANE_VERSION);
    EXPECT_EQ(status["running"], true);
    EXPECT_EQ(status["listen"], (Json{{"address", "127.0.0.1"}, {"port", modbusPort}}));
    ASSERT_EQ(status["connections"].size(), 1u) << status;
    const Json& connection = status["connections"][0];
    EXPECT_EQ(connection["peer"], client.Peer());
    EXPECT_TRUE(connection["socket"].is_number_integer());
    EXPECT_EQ(connection["acceptedRequests"], 1);
    EXPECT_EQ(connection["rejectedRequests"], 1);
    EXPECT_EQ(connection["bytesReceived"], 24);
    EXPECT_EQ(connection["bytesTransmitted"], 22);
    EXPECT_GE(connection["connectedSeconds"], 1);
    EXPECT_TRUE(connection["idleSeconds"].is_number_unsigned());
}

// Where the server listens decides the family its clients come from; each peer shows as its family
// writes it, IPv6 in brackets, and an IPv4 client of a dual-stack "::" as plain IPv4.
struct ListenCase {
    const char* name;
    const char* bind;
    const char* http;
    const char* client;
    const char* listening;   // the "Listening on" line up to the port
};

void PrintTo(const ListenCase& listen, std::ostream* out)
{
    *out << listen.name;
}

class ListenAddressTest : public HttpApiTest, public testing::WithParamInterface<ListenCase> {};

TEST_P(ListenAddressTest, PeersShowInTheLogStatusAndTransactionsAsTheirFamilyWritesThem)
{
    if (!HasIpv6Loopback()) {
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    }
    const ListenCase& c = GetParam();
    Run({"--http", c.http, "--bind", c.bind});
    EXPECT_EQ(listening, c.listening + std::to_string(modbusPort));
    ModbusClient client(modbusPort, c.client);
    ASSERT_TRUE(client.connected) << c.client;
    uint16_t value = 0;
    ASSERT_EQ(modbus_read_registers(client.context, 0, 1, &value), 1);
    const std::string peer = client.Peer();
    ASSERT_EQ(peer.rfind(c.client[0] == ':' ? "[::1]:" : "127.0.0.1:", 0), 0u) << peer;

    const std::optional<std::string> accepted = child.WaitForLine("Connection accepted on socket ", kBound);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->substr(accepted->rfind(" from ") + 6), peer);
    const Json status = GetWhen("/api/v1/status", [](const Json& s) {
        return s["connections"].size() == 1 && s["connections"][0]["acceptedRequests"] == 1;
    });
    EXPECT_EQ(status["listen"], (Json{{"address", c.bind}, {"port", modbusPort}}));
    ASSERT_EQ(status["connections"].size(), 1u) << status;
    EXPECT_EQ(status["connections"][0]["peer"], peer);
    const Json transactions = Get("/api/v1/transactions");
    ASSERT_EQ(transactions["transactions"].size(), 1u) << transactions;
    EXPECT_EQ(transactions["transactions"][0]["peer"], peer);
}

INSTANTIATE_TEST_SUITE_P(Ipv6, ListenAddressTest,
                         testing::Values(ListenCase{"Ipv6Loopback", "::1", "[::1]:0", "::1", "Listening on [::1]:"},
                                         ListenCase{"DualStackFromIpv4", "::", "127.0.0.1:0", "127.0.0.1",
                                                    "Listening on [::]:"},
                                         ListenCase{"DualStackFromIpv6", "::", "[::1]:0", "::1", "Listening on [::]:"}),
                         [](const testing::TestParamInfo<ListenCase>& info) { return std::string(info.param.name); });

// The status page in a real browser: what one connected client and a register set through the API
// look like where a person reads them, the connections table and the grid after a Go to. Behind
// a token, the page asks for it and sends it once typed.
struct PageCase {
    const char* name;
    bool token;
};

void PrintTo(const PageCase& page, std::ostream* out)
{
    *out << page.name;
}

class StatusPageTest : public HttpApiTest, public testing::WithParamInterface<PageCase> {};

// Types the token when the page asks for it, waits for a connection, goes to `address` and
// answers what the page shows; every wait inside ends after 10 s with what the page shows instead.
constexpr const char* kReadThePage = R"js(
(async (token, address) => {
  const wait = async (what, find) => {
    for (let tries = 0; tries < 200; ++tries) {
      const found = find();
      if (found) return found;
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    throw new Error("the page did not show " + what + "; it shows: " + document.body.innerText);
  };
  if (token) {
    const form = await wait("its token form", () => getComputedStyle(document.getElementById("token")).display !== "none" && document.getElementById("token"));
    document.getElementById("token-text").value = token;
    form.querySelector("button").click();
  }
  const peers = await wait("a connection", () => {
    const cells = [...document.querySelectorAll("#connections tbody td.peer")];
    return cells.length > 0 && cells.map((cell) => cell.textContent);
  });
  document.getElementById("goto-address").value = String(address);
  document.querySelector("#goto button").click();
  const cell = await wait("cell " + address, () => document.querySelector('#grid tbody td[data-address="' + address + '"]'));
  return { peers, value: cell.textContent, row: cell.parentElement.cells[0].textContent,
           problem: document.getElementById("problem").textContent };
})
)js";

TEST_P(StatusPageTest, ShowsTheConnectedClientAndARegisterSetThroughTheApi)
{
    const std::string token = "page-Token-7";
    const std::string tokenFile = WriteTempFile("parvane-page-token", token + "\n");
    httplib::Headers headers;
    if (GetParam().token) {
        Run({"--http", "0.0.0.0:0", "--http-token-file", tokenFile});
        headers.emplace("Authorization", "Bearer " + token);
    } else {
        Run();
    }
    std::remove(tokenFile.c_str());
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    httplib::Result put =
        http->Put("/api/v1/registers", headers, R"({"start": 40007, "values": [51966]})", "application/json");
    ASSERT_TRUE(put);
    ASSERT_EQ(put->status, 200) << put->body;

    HeadlessChromium browser;
    ASSERT_TRUE(browser.Start()) << browser.Problem();
    ASSERT_TRUE(browser.Open("http://127.0.0.1:" + std::to_string(httpPort) + "/", Milliseconds(30000)))
        << browser.Problem();
    const Json shown = browser.Evaluate(std::string(kReadThePage) + "(" + Json(GetParam().token ? token : "").dump() +
                                            ", 40007)",
                                        Milliseconds(40000));
    ASSERT_TRUE(shown.is_object()) << browser.Problem();
    EXPECT_EQ(shown["peers"], Json::array({client.Peer()}));
    EXPECT_EQ(shown["value"], Json("51966"));
    EXPECT_EQ(shown["row"], Json("40000"));
    EXPECT_EQ(shown["problem"], Json(""));
}

INSTANTIATE_TEST_SUITE_P(Page, StatusPageTest,
                         testing::Values(PageCase{"OnLoopback", false}, PageCase{"BehindAToken", true}),
                         [](const testing::TestParamInfo<PageCase>& info) { return info.param.name; });

TEST_F(HttpApiTest, RegistersAndCoilsReadBackWhatAModbusClientWrote)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    const uint16_t registers[] = {0x1234, 65535};
    ASSERT_EQ(modbus_write_registers(client.context, 0, 2, registers), 2);
    ASSERT_EQ(modbus_write_register(client.context, 65535, 4660), 1);
    const uint8_t coils[] = {1, 0, 1};
    ASSERT_EQ(modbus_write_bits(client.context, 0, 3, coils), 3);
    ASSERT_EQ(modbus_write_bit(client.context, 65535, 1), 1);

    struct Read {
        std::string path;
        int start;
        std::vector<int> head;   // the first values
        int lastValue;
        size_t count;
    };
    for (const Read& read : std::vector<Read>{
             {"/api/v1/registers?start=0&count=65536", 0, {0x1234, 65535, 0}, 4660, 65536},
             {"/api/v1/registers?start=65535&count=1", 65535, {4660}, 4660, 1},
             {"/api/v1/coils?start=0&count=65536", 0, {1, 0, 1, 0}, 1, 65536},
             {"/api/v1/coils?start=65535&count=1", 65535, {1}, 1, 1},
         }) {
        SCOPED_TRACE(read.path);
        Json answer = Get(read.path);
        EXPECT_EQ(answer["start"], read.start);
        ASSERT_EQ(answer["values"].size(), read.count);
        for (size_t index = 0; index < read.head.size(); ++index) {
            EXPECT_EQ(answer["values"][index], read.head[index]) << index;
        }
        EXPECT_EQ(answer["values"].back(), read.lastValue);
    }

    struct Bad {
        std::string query;
        std::string error;
    };
    for (const Bad& bad : std::vector<Bad>{
             {"start=0&count=0", "count: 0 is not in 1..65536"},
             {"start=65535&count=2", "start + count: 65535 + 2 is past 65536"},
             {"start=0&count=65537", "count: 65537 is not in 1..65536"},
             {"start=65536&count=1", "start: 65536 is not in 0..65535"},
             {"count=1", "start: missing"},
             {"start=0", "count: missing"},
             {"start=abc&count=1", "start: 'abc' is not a decimal number"},
             {"start=1&count=-1", "count: '-1' is not a decimal number"},
         }) {
        for (const char* table : {"registers", "coils"}) {
            const std::string path = std::string("/api/v1/") + table + "?" + bad.query;
            SCOPED_TRACE(path);
            EXPECT_EQ(Get(path, 400)["error"].get<std::string>().rfind(bad.error, 0), 0u);
        }
    }
}

TEST_F(HttpApiTest, ServerStopAndStartAnswerOnceDoneAnd409WhenAlreadyThere)
{
    Run();
    struct Step {
        const char* path;
        int status;
        bool runningAfter;
    };
    for (const Step& step : {Step{"/api/v1/server/stop", 200, false}, Step{"/api/v1/server/stop", 409, false},
                             Step{"/api/v1/server/start", 200, true}, Step{"/api/v1/server/start", 409, true}}) {
        SCOPED_TRACE(step.path);
        httplib::Result result = http->Post(step.path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, step.status) << result->body;
        Json answer = Json::parse(result->body, nullptr, false);
        EXPECT_TRUE(step.status == 200 ? answer["running"] == step.runningAfter : answer.contains("error")) << answer;
        EXPECT_EQ(Get("/api/v1/status")["running"], step.runningAfter);
        ModbusClient client(modbusPort);
        EXPECT_EQ(client.connected, step.runningAfter);
    }
    // curl -X POST sends neither Content-Length nor Transfer-Encoding: the body is empty, and the
    // answer must not wait for the client to close.
    EXPECT_EQ(RawStatusLine(httpPort, "POST /api/v1/server/stop HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"),
              "HTTP/1.1 200 OK");
}

TEST_F(HttpApiTest, LogAnswersLinesAfterASequenceAndWaitsForTheNext)
{
    Run();
    // The history takes each line just after standard output does.
    Json log = GetWhen("/api/v1/log", [](const Json& l) { return l["lines"].size() >= 3; });
    ASSERT_GE(log["lines"].size(), 3u);
    EXPECT_EQ(log["lines"][0]["seq"], 1);
    EXPECT_EQ(log["lines"][0]["text"].get<std::string>().rfind("HTTP control interface on 127.0.0.1:", 0), 0u);
    EXPECT_TRUE(std::regex_match(log["lines"][0]["time"].get<std::string>(), std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d)")));
    EXPECT_EQ(log["last"], log["lines"].back()["seq"]);
    EXPECT_EQ(log["dropped"], 0);
    const uint64_t last = log["last"];
    EXPECT_EQ(Get("/api/v1/log?after=" + std::to_string(last - 1))["lines"].size(), 1u);

    // A line logged while the answer waits ends the wait with it.
    Json waited;
    std::thread waiter([&] { waited = Get("/api/v1/log?after=" + std::to_string(last) + "&wait=20000"); });
    std::this_thread::sleep_for(Milliseconds(100));
    ModbusClient client(modbusPort);
    waiter.join();
    ASSERT_FALSE(waited["lines"].empty()) << waited;
    EXPECT_EQ(waited["lines"][0]["seq"], last + 1);
    EXPECT_EQ(waited["lines"][0]["text"].get<std::string>().rfind("Connection accepted on socket ", 0), 0u);

    // With nothing to log, the wait ends after its time, empty.
    const uint64_t newest = Get("/api/v1/log")["last"];
    const auto begin = steady_clock::now();
    Json empty = Get("/api/v1/log?after=" + std::to_string(newest + 100) + "&wait=300");
    EXPECT_GE(steady_clock::now() - begin, Milliseconds(290));
    EXPECT_TRUE(empty["lines"].empty());
    EXPECT_EQ(Get("/api/v1/log?wait=30001", 400)["error"], "wait: 30001 is not in 0..30000");

    // A stop of the program ends a pending wait at once instead of after its 30 s.
    std::thread pending([&] { http->Get("/api/v1/log?after=1000000&wait=30000"); });
    std::this_thread::sleep_for(Milliseconds(100));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitForExit(Milliseconds(10000)), 0);
    pending.join();
}

TEST_F(HttpApiTest, TransactionsHoldTheExactBytesOfEachRequestAndResponse)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    ASSERT_EQ(modbus_write_register(client.context, 100, 0x1234), 1);
    auto hex = [](const uint8_t* bytes, size_t count) {
        std::string text;
        for (size_t index = 0; index < count; ++index) {
            text += "0123456789abcdef"[bytes[index] >> 4];
            text += "0123456789abcdef"[bytes[index] & 15];
        }
        return text;
    };
    std::vector<std::string> requests;
    std::vector<std::string> responses;
    for (std::vector<uint8_t> pdu : {std::vector<uint8_t>{1, 0x03, 0x00, 0x64, 0x00, 0x02},     // read 100..101
                                     std::vector<uint8_t>{1, 0x03, 0xFF, 0xFF, 0x00, 0x02}}) {  // exception 2
        ASSERT_GT(modbus_send_raw_request(client.context, pdu.data(), static_cast<int>(pdu.size())), 0);
        uint8_t response[MODBUS_TCP_MAX_ADU_LENGTH];
        const int length = modbus_receive_confirmation(client.context, response);
        ASSERT_GT(length, 0);
        responses.push_back(hex(response, static_cast<size_t>(length)));
        // As sent: the transaction id that the response echoes, protocol 0, the length, the PDU.
        const uint8_t header[] = {response[0], response[1], 0, 0, 0, static_cast<uint8_t>(pdu.size())};
        requests.push_back(hex(header, sizeof header) + hex(pdu.data(), pdu.size()));
    }
    EXPECT_EQ(responses[0].substr(4), "0000000701030412340000");
    Json answer = GetWhen("/api/v1/transactions?after=1", [](const Json& a) { return a["last"] == 3; });
    ASSERT_EQ(answer["transactions"].size(), 2u) << answer;
    for (size_t index = 0; index < 2; ++index) {
        const Json& transaction = answer["transactions"][index];
        EXPECT_EQ(transaction["seq"], index + 2);
        EXPECT_EQ(transaction["peer"], client.Peer());
        EXPECT_EQ(transaction["request"], requests[index]);
        EXPECT_EQ(transaction["response"], responses[index]);
        EXPECT_EQ(transaction["exception"], index == 0 ? 0 : 2);
    }
    EXPECT_EQ(answer["last"], 3);
    EXPECT_EQ(answer["dropped"], 0);
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (uint8_t byte : bytes) {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 15];
    }
    return text;
}

// Transactions of two lengths. Every fifth writes one register (12 bytes each way); the others are
// a code 23 that writes 100 registers at 1000 and reads 125 never written at 2000 (217 bytes in,
// 259 out).
constexpr int kWrittenRun = 100;
constexpr int kReadRun = 125;

void SendMixedTransaction(modbus_t* context, int index)
{
    if (index % 5 == 0) {
        ASSERT_EQ(modbus_write_register(context, 7, static_cast<uint16_t>(index)), 1);
        return;
    }
    uint16_t values[kWrittenRun];
    for (int offset = 0; offset < kWrittenRun; ++offset) {
        values[offset] = static_cast<uint16_t>(index + offset);
    }
    uint16_t readBack[kReadRun];
    ASSERT_EQ(modbus_write_and_read_registers(context, 1000, kWrittenRun, values, 2000, kReadRun, readBack), kReadRun);
}

// The request and response of SendMixedTransaction(index) in hexadecimal, after the transaction id.
std::pair<std::string, std::string> MixedExchange(int index)
{
    const auto value = static_cast<uint16_t>(index);
    if (index % 5 == 0) {
        const std::string write = Hex({0, 0, 0, 6, 1, 0x06, 0x00, 0x07, uint8_t(value >> 8), uint8_t(value)});
        return {write, write};
    }
    std::vector<uint8_t> values;
    for (int offset = 0; offset < kWrittenRun; ++offset) {
        values.push_back(uint8_t((value + offset) >> 8));
        values.push_back(uint8_t(value + offset));
    }
    return {Hex({0, 0, 0, 211, 1, 0x17, 0x07, 0xD0, 0, kReadRun, 0x03, 0xE8, 0, kWrittenRun, 2 * kWrittenRun}) +
                Hex(values),
            Hex({0, 0, 0, 253, 1, 0x17, 2 * kReadRun}) + std::string(4 * kReadRun, '0')};
}

// The history keeps the newest 10,000 whatever their lengths, each with its exact bytes. 15,000
// mixed transactions keep some 6.4 MB of records, more than the room for 10,000 of the longest,
// so the history's storage wraps around under the check.
TEST_F(HttpApiTest, TransactionHistoryKeepsTheNewest10000OfAnyLengthAndCountsTheDropped)
{
    Run();
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    constexpr int kTransactions = 15000;
    for (int index = 0; index < kTransactions; ++index) {
        ASSERT_NO_FATAL_FAILURE(SendMixedTransaction(client.context, index));
    }
    Json answer = GetWhen("/api/v1/transactions", [](const Json& a) { return a["last"] == kTransactions; });
    ASSERT_EQ(answer["transactions"].size(), 10000u);
    EXPECT_EQ(answer["dropped"], kTransactions - 10000);
    uint64_t seq = kTransactions - 10000;
    for (const Json& transaction : answer["transactions"]) {
        ++seq;
        const std::string request = transaction["request"];
        const std::string response = transaction["response"];
        const auto [expectedRequest, expectedResponse] = MixedExchange(static_cast<int>(seq) - 1);
        if (transaction["seq"] != seq || request.substr(4) != expectedRequest ||
            response.substr(4) != expectedResponse || response.substr(0, 4) != request.substr(0, 4)) {
            ADD_FAILURE() << "entry " << seq << " is not what was sent and answered: " << transaction;
            break;
        }
    }
}

TEST_F(HttpApiTest, MetricsCountRequestsByFunctionAndResult)
{
    Run({"--http", "127.0.0.1:0", "--unit-ids", "1", "--unknown-unit", "exception"});
    ModbusClient client(modbusPort);
    ASSERT_TRUE(client.connected);
    uint16_t values[3];
    for (int index = 0; index < 3; ++index) {
        ASSERT_EQ(modbus_read_registers(client.context, 0, 3, values), 3);   // 12 bytes in, 15 out
    }
    ASSERT_EQ(modbus_read_registers(client.context, 65535, 2, values), -1);   // 12 in, 9 out
    ASSERT_EQ(modbus_write_register(client.context, 0, 1), 1);                // 12 in, 12 out
    const uint8_t unknownFunction[] = {1, 0x07};                              // 8 in, 9 out
    ASSERT_GT(modbus_send_raw_request(client.context, unknownFunction, 2), 0);
    uint8_t response[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_receive_confirmation(client.context, response);
    modbus_set_slave(client.context, 7);                                      // a unit not served:
    ASSERT_EQ(modbus_read_registers(client.context, 0, 1, values), -1);       // 12 in, 9 out
    EXPECT_EQ(errno, EMBXGTAR);

    std::string text;
    for (auto end = steady_clock::now() + kBound; steady_clock::now() < end;) {
        httplib::Result result = http->Get("/metrics");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/plain; version=0.0.4");
        text = result->body;
        if (text.find("function=\"3\",result=\"exception_11\"} 1") != std::string::npos) {
            break;
        }
    }
    for (const char* line : {"# TYPE parvane_requests_total counter",
                             "parvane_requests_total{function=\"3\",result=\"normal\"} 3\n",
                             "parvane_requests_total{function=\"3\",result=\"exception_2\"} 1\n",
                             "parvane_requests_total{function=\"6\",result=\"normal\"} 1\n",
                             "parvane_requests_total{function=\"6\",result=\"exception_3\"} 0\n",
                             "parvane_requests_total{function=\"other\",result=\"exception_1\"} 1\n",
                             "parvane_requests_total{function=\"3\",result=\"exception_11\"} 1\n",
                             "parvane_unserved_unit_requests_total 1\n",
                             "parvane_received_bytes_total 80\n", "parvane_transmitted_bytes_total 84\n",
                             "parvane_connections_accepted_total 1\n", "parvane_connections_evicted_total 0\n",
                             "# TYPE parvane_connections_open gauge", "parvane_connections_open 1\n",
                             "parvane_framing_violations_total 0\n", "parvane_log_lines_dropped_total 0\n",
                             "parvane_server_running 1\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
    }
}

TEST_F(HttpApiTest, UnknownPathsWrongMethodsAndLargeBodiesAnswerInTheErrorShape)
{
    Run();
    struct Case {
        const char* method;
        const char* path;
        std::string body;
        int status;
        const char* allow;
    };
    const std::string fourMiB(4 * 1024 * 1024, ' ');
    for (const Case& request : {Case{"GET", "/api/v1/nothing", "", 404, ""}, Case{"GET", "/api/v1/status/", "", 404, ""},
                                Case{"PUT", "/api/v1/status", "{}", 405, "GET"},
                                Case{"GET", "/api/v1/server/start", "", 405, "POST"},
                                Case{"DELETE", "/metrics", "", 405, "GET"},
                                Case{"PUT", "/api/v1/faults", "{}", 405, "GET, POST, DELETE"},
                                Case{"GET", "/api/v1/faults/1", "", 405, "DELETE"},
                                Case{"POST", "/api/v1/server/start", fourMiB, 409, ""},
                                Case{"POST", "/api/v1/server/start", fourMiB + " ", 413, ""}}) {
        SCOPED_TRACE(std::string(request.method) + " " + request.path + " " + std::to_string(request.body.size()));
        httplib::Request raw;
        raw.method = request.method;
        raw.path = request.path;
        raw.body = request.body;
        raw.set_header("Content-Type", "application/json");
        httplib::Result result = http->send(raw);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, request.status);
        EXPECT_EQ(result->get_header_value("Allow"), request.allow);
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
        Json answer = Json::parse(result->body, nullptr, false);
        EXPECT_TRUE(answer.is_object() && answer.size() == 1 && answer["error"].is_string()) << result->body;
    }
}

TEST_F(HttpApiTest, TokenIsNeededOnEveryRequestOffLoopback)
{
    const std::string tokenFile = WriteTempFile("parvane-token", "s3cret-Token\n");
    Run({"--http", "0.0.0.0:0", "--http-token-file", tokenFile});
    struct Case {
        const char* authorization;   // nullptr: none
        const char* path;
        int status;
    };
    for (const Case& request : {Case{nullptr, "/api/v1/status", 401}, Case{"Bearer wrong", "/api/v1/status", 401},
                                Case{"Bearer s3cret-Token2", "/api/v1/status", 401},
                                Case{"Bearer s3cret-Toke", "/api/v1/status", 401},
                                Case{"s3cret-Token", "/api/v1/status", 401}, Case{nullptr, "/nowhere", 401},
                                Case{"Bearer s3cret-Token", "/api/v1/status", 200},
                                Case{"bearer s3cret-Token", "/api/v1/coils?start=0&count=1", 200},
                                Case{"Bearer s3cret-Token", "/nowhere", 404}}) {
        SCOPED_TRACE(std::string(request.authorization ? request.authorization : "(none)") + " " + request.path);
        httplib::Headers headers;
        if (request.authorization != nullptr) {
            headers.emplace("Authorization", request.authorization);
        }
        httplib::Result result = http->Get(request.path, headers);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, request.status);
        EXPECT_TRUE(Json::parse(result->body, nullptr, false).is_object()) << result->body;
    }
    std::remove(tokenFile.c_str());
}

TEST(HttpStartRefusal, TokenRuleAndBindFailureEndTheProgramWithOneLine)
{
    const std::string emptyFile = WriteTempFile("parvane-empty-token", " \n");
    SocketHandle taken = kNoSocket;
    int error = 0;
    uint16_t takenPort = 0;
    taken = CreateTcpSocket(&error);
    // Even a socket that would share its port (as another parvane-cli's must not) keeps it.
    const int share = 1;
    setsockopt(taken, SOL_SOCKET, SO_REUSEPORT, &share, sizeof share);
    ASSERT_EQ(BindSocket(taken, "127.0.0.1", 0), 0);
    ASSERT_EQ(ListenOnSocket(taken), 0);
    LocalPort(taken, &takenPort);
    struct Case {
        std::vector<std::string> options;
        int status;
        std::string line;
    };
    for (const Case& refused : std::vector<Case>{
             {{"--http", "0.0.0.0:0"}, 2, "give --http-token-file FILE"},
             {{"--http", "0.0.0.0:0", "--http-token-file", "/nonexistent/token"}, 2, "No such file or directory"},
             {{"--http", "0.0.0.0:0", "--http-token-file", emptyFile}, 2, "the file holds no token"},
             {{"--http", "127.0.0.1:" + std::to_string(takenPort)}, 1, "Unable to start the HTTP control interface"},
         }) {
        SCOPED_TRACE(refused.options[1]);
        std::vector<std::string> arguments = {"--port", std::to_string(FreePort()), "--bind", "127.0.0.1"};
        arguments.insert(arguments.end(), refused.options.begin(), refused.options.end());
        ChildResult result = RunToEnd(CliPath(), arguments);
        EXPECT_EQ(result.status, refused.status);
        EXPECT_EQ(result.errors.find("parvane-cli: "), 0u) << result.errors;
        EXPECT_NE(result.errors.substr(0, result.errors.find('\n')).find(refused.line), std::string::npos)
            << result.errors;
        EXPECT_EQ(result.output.find("Modbus Server started"), std::string::npos) << result.output;
    }
    CloseSocket(taken);
    std::remove(emptyFile.c_str());
}

// The console starts the interface with its window and, as it closes, stops it before the server:
// a request that waits then ends at once, and the program still ends in order.
TEST(ConsoleControl, InterfaceServesWhileTheWindowIsOpenAndStopsBeforeTheEnd)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Qt is not built for ThreadSanitizer";
#endif
    const std::string console =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "parvane").string();
    if (!std::filesystem::exists(console)) {
        GTEST_SKIP() << "the console is not built";
    }
    const uint16_t httpPort = FreePort();
    ChildProcess child;
    ChildOptions how;
    how.environment = {"QT_QPA_PLATFORM=offscreen"};
    ASSERT_TRUE(child.Start(console,
                            {"--port", std::to_string(FreePort()), "--bind", "127.0.0.1", "--http",
                             "127.0.0.1:" + std::to_string(httpPort)},
                            how));
    httplib::Client http("127.0.0.1", httpPort);
    http.set_read_timeout(40);
    // The interface starts before the server does.
    Json status;
    for (auto end = steady_clock::now() + kBound; status["running"] != true && steady_clock::now() < end;) {
        std::this_thread::sleep_for(Milliseconds(20));
        if (httplib::Result result = http.Get("/api/v1/status")) {
            status = Json::parse(result->body, nullptr, false);
        }
    }
    ASSERT_EQ(status["running"], true) << status;
    for (const char* path : {"/api/v1/server/stop", "/api/v1/server/start"}) {
        httplib::Result result = http.Post(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200) << path << " " << result->body;
    }
    httplib::Client waiting("127.0.0.1", httpPort);
    waiting.set_read_timeout(40);
    std::thread pending([&] { waiting.Get("/api/v1/log?after=1000000&wait=30000"); });
    std::this_thread::sleep_for(Milliseconds(100));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitForExit(kBound), 0) << child.Errors();
    pending.join();
}

int ThreadCount()
{
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        closedir(tasks);
    }
    return count;
}

void IgnoreTransaction(const TransactionView&) {}

TEST(ControlServerInProcess, SwitchedOffAddsNoObserverAndNoThreadAndAStopJoinsEveryThread)
{
    // A sanitizer's runtime starts a thread of its own with the first thread; have it counted.
    std::thread([] {}).join();
    const int threads = ThreadCount();
    std::string problem;
    EXPECT_EQ(StartControlServer(ControlOptions{}, &problem), ControlStart::kNotAsked);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(ControlServerPort(), 0);
    // Both observer places are still free.
    EXPECT_TRUE(AddTransactionObserver(IgnoreTransaction));
    EXPECT_TRUE(AddTransactionObserver(IgnoreTransaction));
    ClearTransactionObservers();

    ControlOptions on;
    on.httpEnabled = true;
    on.httpAddress = "127.0.0.1";
    ASSERT_EQ(StartControlServer(on, &problem), ControlStart::kStarted) << problem;
    EXPECT_NE(ControlServerPort(), 0);
    EXPECT_GT(ThreadCount(), threads);
    StopControlServer();
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(ControlServerPort(), 0);
    ClearTransactionObservers();
}

}  // namespace
