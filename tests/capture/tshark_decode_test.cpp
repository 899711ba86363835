// A capture read back by a real decoder: tshark must see every request and response the clients
// exchanged with the server, with the clients' transaction ids, function codes and values, the
// refused requests as the server treated them, TCP streams with intact setup, teardown, sequence
// numbers and checksums, over IPv4 and IPv6.

#include <gtest/gtest.h>
#include <modbus.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_file.h"
#include "faults/fault_rules.h"
#include "log/capturing_log_target.h"
#include "server/server_control.h"
#include "server/slot_table.h"
#include "support/child_process.h"
#include "support/core_state.h"
#include "support/test_sockets.h"
#include "tables/data_tables.h"

namespace {

// One request and what tshark must decode from it and from its response. The first ones go through
// libmodbus's own calls on one connection (transaction ids 1, 2, ...); those with a raw ADU are sent
// as they are on a second connection.
struct ExchangeCase {
    const char* name;
    std::vector<uint8_t> rawAdu;
    int functionCode;                   // 6, 16 or 3 through libmodbus when rawAdu is empty
    int address;
    std::vector<uint16_t> values;       // written, or expected back from a read
    std::string transactionId;
    std::string requestValues;          // tshark's register values (modbus.data for code 6) of the request
    std::string responseValues;         // ... of the response
    std::string exceptionCode;          // tshark's modbus.exception_code of the response
    bool requestMalformed;              // tshark marks the request malformed
    std::string responseUnit = "1";     // tshark's unit identifier of the response
};

const std::vector<ExchangeCase> kExchanges = {
    {"write single register", {}, 6, 10, {0x1234}, "1", "1234", "1234", "", false},
    {"write multiple registers", {}, 16, 20, {1, 2, 65535}, "2", "1,2,65535", "", "", false},
    {"read back what was written", {}, 3, 20, {1, 2, 65535}, "3", "", "1,2,65535", "", false},
    // 200 registers: more than one response holds, refused with exception 3.
    {"read of too many registers", {0x01, 0x2C, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0xC8},
     3, 0, {}, "300", "", "", "3", false},
    // A function code and nothing after it: the server refuses it with exception 3.
    {"read without its fields", {0x01, 0x2D, 0x00, 0x00, 0x00, 0x02, 0x01, 0x03}, 3, 0, {}, "301", "", "", "3", true},
    // What the fault rules of the fixture send is what the capture holds.
    {"a fault's exception", {0x01, 0x2E, 0x00, 0x00, 0x00, 0x06, 0x01, 0x04, 0x00, 0x00, 0x00, 0x01}, 4, 0, {}, "302",
     "", "", "6", false},
    {"a fault's corrupted unit", {0x01, 0x2F, 0x00, 0x00, 0x00, 0x06, 0x01, 0x04, 0x00, 0x07, 0x00, 0x01}, 4, 7, {},
     "303", "", "0", "", false, "2"},
};

// One line of tshark's field output.
struct DecodedFrame {
    std::string stream, sourcePort, flags, payloadLength, ipChecksum, tcpChecksum, analysis;
    std::string transactionId, functionCode, values, exceptionCode, malformed, data, unitId;
};

const char* const kFields[] = {"tcp.stream", "tcp.srcport", "tcp.flags", "tcp.len", "ip.checksum.status",
                               "tcp.checksum.status", "tcp.analysis.flags", "mbtcp.trans_id", "modbus.func_code",
                               "modbus.regval_uint16", "modbus.exception_code", "_ws.malformed", "modbus.data",
                               "mbtcp.unit_id"};

std::vector<DecodedFrame> Decode(const std::string& file, uint16_t port)
{
    const std::string portText = std::to_string(port);
    std::vector<std::string> arguments = {"-r", file, "-d", "tcp.port==" + portText + ",mbtcp",
                                          // Which side is the server, so requests and responses are told apart.
                                          "-o", "mbtcp.tcp.port:" + portText, "-o", "tcp.check_checksum:TRUE",
                                          "-o", "ip.check_checksum:TRUE", "-T", "fields", "-E", "separator=|",
                                          "-E", "occurrence=a", "-E", "aggregator=,"};
    for (const char* field : kFields) {
        arguments.push_back("-e");
        arguments.push_back(field);
    }
    ChildProcess tshark(PARVANE_TSHARK, arguments);
    EXPECT_EQ(tshark.WaitForExit(std::chrono::seconds(60)), 0) << tshark.Errors();
    std::vector<DecodedFrame> frames;
    std::istringstream lines(tshark.Output());
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '|');) {
            cells.push_back(cell);
        }
        cells.resize(std::size(kFields));
        frames.push_back({cells[0], cells[1], cells[2], cells[3], cells[4], cells[5], cells[6], cells[7], cells[8],
                          cells[9], cells[10], cells[11], cells[12], cells[13]});
    }
    return frames;
}

void RunLibmodbusExchange(modbus_t* context, const ExchangeCase& exchange)
{
    uint16_t read[8] = {};
    int result = -1;
    if (exchange.functionCode == 6) {
        result = modbus_write_register(context, exchange.address, exchange.values[0]);
    } else if (exchange.functionCode == 16) {
        result = modbus_write_registers(context, exchange.address, static_cast<int>(exchange.values.size()),
                                        exchange.values.data());
    } else {
        result = modbus_read_registers(context, exchange.address, static_cast<int>(exchange.values.size()), read);
    }
    EXPECT_GT(result, 0) << exchange.name << ": " << modbus_strerror(errno);
}

class TsharkDecodeTest : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::string(GetParam()) == "::1" && !HasIpv6Loopback()) {
            GTEST_SKIP() << "no IPv6 loopback";
        }
        file = testing::TempDir() + "parvane_capture_" + std::to_string(getpid()) + ".pcap";
        SetLogTarget(&log);
        ResetServedData();
        InitSlotTable();
        InitServerControl(GetParam(), 0);
        std::string problem;
        ASSERT_TRUE(StartCapture(file, &problem)) << problem;
        ASSERT_NE(AddFaultRule("exception=6 fc=4 address=0-0", &problem, true), 0u) << problem;
        ASSERT_NE(AddFaultRule("corrupt=unit-id fc=4", &problem, true), 0u) << problem;
        StartServer();
        ASSERT_TRUE(log.WaitFor("Listening on ", 5000, true));
        port = ListeningPort();
    }

    void TearDown() override
    {
        StopServer();
        EXPECT_TRUE(WaitServerStoppedFor(15000));
        StopCapture();
        ClearFaultRules();
        DestroyServerControl();
        DestroySlotTable();
        DestroyDataTables();
        SetLogTarget(nullptr);
        std::remove(file.c_str());
    }

    CapturingLogTarget log;
    std::string file;
    uint16_t port = 0;
};

TEST_P(TsharkDecodeTest, DecodesEveryRequestAndResponseAsTheClientsExchangedThem)
{
    modbus_t* context = modbus_new_tcp_pi(GetParam(), std::to_string(port).c_str());
    ASSERT_NE(context, nullptr);
    modbus_set_slave(context, 1);
    ASSERT_EQ(modbus_connect(context), 0) << modbus_strerror(errno);
    for (const ExchangeCase& exchange : kExchanges) {
        if (exchange.rawAdu.empty()) {
            RunLibmodbusExchange(context, exchange);
        }
    }
    modbus_close(context);
    modbus_free(context);
    ASSERT_TRUE(log.WaitFor("Client on socket", 5000, true));

    int error = 0;
    SocketHandle raw = ConnectTcp(GetParam(), port, &error);
    ASSERT_NE(raw, kNoSocket);
    uint8_t answer[300];
    for (const ExchangeCase& exchange : kExchanges) {
        if (!exchange.rawAdu.empty()) {
            const int size = static_cast<int>(exchange.rawAdu.size());
            ASSERT_EQ(SendBytes(raw, exchange.rawAdu.data(), size, &error), size);
            ASSERT_TRUE(WaitReadable(raw, 5000)) << exchange.name;
            EXPECT_GT(ReceiveWaiting(raw, answer, sizeof answer, &error), 0) << exchange.name;
        }
    }
    // A length field of 1: the server closes the connection without an answer.
    const uint8_t badLength[] = {0x00, 0x63, 0x00, 0x00, 0x00, 0x01, 0x01};
    ASSERT_EQ(SendBytes(raw, badLength, sizeof badLength, &error), static_cast<int>(sizeof badLength));
    EXPECT_EQ(ReceiveWaiting(raw, answer, sizeof answer, &error), 0);
    CloseSocket(raw);
    ASSERT_FALSE(log.WaitForMatch(std::regex("The request from client on socket .* had invalid Command Length")).empty());
    // Both connections are released by the time the server has stopped; the file is then complete.
    StopServer();
    ASSERT_TRUE(WaitServerStoppedFor(15000));
    StopCapture();

    const std::vector<DecodedFrame> frames = Decode(file, port);
    const std::string serverPort = std::to_string(port);
    std::vector<const DecodedFrame*> payloads;
    int synCount = 0;
    int finCount = 0;
    for (const DecodedFrame& frame : frames) {
        EXPECT_EQ(frame.tcpChecksum, "1") << "frame " << &frame - frames.data() + 1;
        EXPECT_TRUE(frame.ipChecksum == "1" || frame.ipChecksum.empty()) << "IPv4 header checksum";
        EXPECT_EQ(frame.analysis, "") << "sequence analysis of frame " << &frame - frames.data() + 1;
        synCount += frame.flags == "0x0002" ? 1 : 0;
        finCount += frame.flags == "0x0011" ? 1 : 0;
        if (frame.payloadLength != "0") {
            payloads.push_back(&frame);
        }
    }
    EXPECT_EQ(synCount, 2);
    EXPECT_EQ(finCount, 4) << "each connection closed both ways";
    // Who closed first: the libmodbus client (stream 0), then the server on the refused header.
    for (const auto& [stream, closer] : {std::pair<std::string, bool>{"0", false}, {"1", true}}) {
        const auto firstFin = std::find_if(frames.begin(), frames.end(), [&](const DecodedFrame& frame) {
            return frame.stream == stream && frame.flags == "0x0011";
        });
        ASSERT_NE(firstFin, frames.end()) << "stream " << stream;
        EXPECT_EQ(firstFin->sourcePort == serverPort, closer) << "stream " << stream;
    }
    ASSERT_EQ(payloads.size(), 2 * kExchanges.size() + 1);
    for (size_t index = 0; index < kExchanges.size(); ++index) {
        const ExchangeCase& exchange = kExchanges[index];
        const DecodedFrame& request = *payloads[2 * index];
        const DecodedFrame& response = *payloads[2 * index + 1];
        const std::string& transactionId = exchange.transactionId;
        EXPECT_NE(request.sourcePort, serverPort) << exchange.name;
        EXPECT_EQ(request.transactionId, transactionId) << exchange.name;
        EXPECT_EQ(request.functionCode, std::to_string(exchange.functionCode)) << exchange.name;
        EXPECT_EQ(request.values.empty() ? request.data : request.values, exchange.requestValues) << exchange.name;
        EXPECT_EQ(!request.malformed.empty(), exchange.requestMalformed) << exchange.name;
        EXPECT_EQ(response.sourcePort, serverPort) << exchange.name;
        EXPECT_EQ(response.transactionId, transactionId) << exchange.name;
        EXPECT_EQ(response.functionCode, std::to_string(exchange.functionCode)) << exchange.name;
        EXPECT_EQ(response.values.empty() ? response.data : response.values, exchange.responseValues)
            << exchange.name;
        EXPECT_EQ(response.exceptionCode, exchange.exceptionCode) << exchange.name;
        EXPECT_EQ(response.unitId, exchange.responseUnit) << exchange.name;
        EXPECT_TRUE(response.malformed.empty()) << exchange.name;
    }
    // The refused header: captured as the 7 bytes it was, and followed by the server's FIN.
    const DecodedFrame& refused = *payloads.back();
    EXPECT_EQ(refused.payloadLength, "7");
    ASSERT_NE(&refused, &frames.back());
    const DecodedFrame& next = *(&refused + 1);
    EXPECT_EQ(next.sourcePort, serverPort);
    EXPECT_EQ(next.flags, "0x0011");
}

INSTANTIATE_TEST_SUITE_P(Families, TsharkDecodeTest, testing::Values("127.0.0.1", "::1"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "::1" ? "Ipv6" : "Ipv4";
                         });

}  // namespace
