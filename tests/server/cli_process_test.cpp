#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "server/test_client.h"
#include "support/cli_program.h"
#include "support/child_process.h"

namespace {

constexpr Milliseconds kBound{10000};

// The message part of a log line, after checking its "HH:MM:SS.mmm<TAB>" stamp.
std::string MessageOf(const std::string& line)
{
    static const std::regex stamped(R"((\d\d):(\d\d):(\d\d)\.(\d\d\d)\t(.*))");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
    return match.size() > 5 ? match[5].str() : line;
}

// Reads log lines until one starts with `prefix` (bounded); false if it never came.
bool ReadUntil(ChildProcess* child, const std::string& prefix, std::vector<std::string>* seen)
{
    while (std::optional<std::string> line = child->NextLine(kBound)) {
        seen->push_back(MessageOf(*line));
        if (seen->back().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Four clients each send `requests` reads of 10 registers (under --trace, three log lines' worth of
// text each); answers how many were answered. A client gives up at its first request left unanswered
// for 5 s, a bound generous enough for a loaded machine.
int AnsweredUnderLoad(uint16_t port, int requests)
{
    constexpr int kClients = 4;
    constexpr int kRequestBoundMilliseconds = 5000;
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int index = 0; index < kClients; ++index) {
        clients.emplace_back([&] {
            TestClient client;
            if (!client.Connect(port)) {
                return;
            }
            for (int request = 0; request < requests; ++request) {
                if (!client.Send(ReadRegistersRequest(static_cast<uint16_t>(request), 1, 0, 10)) ||
                    client.ReceiveResponse(kRequestBoundMilliseconds).size() != 29u) {
                    return;
                }
                ++answered;
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    return answered;
}

class CliProcessTest : public testing::Test {
protected:
    void Run(const std::vector<std::string>& options, bool mergeStandardError = false)
    {
        child = std::make_unique<ChildProcess>();
        ChildOptions how;
        how.errors = mergeStandardError ? ChildErrors::kMerged : ChildErrors::kPassedThrough;
        ASSERT_TRUE(child->Start(CliProgram(), CliArguments(options), how)) << CliProgram();
    }

    // A child still running at the end of a test is killed and reaped with it.
    std::unique_ptr<ChildProcess> child;
};

TEST_F(CliProcessTest, ServesARequestAndStopsInOrderOnSignal)
{
    for (int signalNumber : CliStopSignals()) {
        SCOPED_TRACE(signalNumber);
        uint16_t port = FreePort();
        Run({"--port", std::to_string(port), "--bind", "127.0.0.1", "--trace"});
        std::vector<std::string> log;
        ASSERT_TRUE(ReadUntil(child.get(), "Modbus Server started on ", &log));

        TestClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(0x0102, 7, 0, 2)));
        EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{1, 2, 0, 0, 0, 7, 7, 3, 4, 0, 0, 0, 0}));
        ASSERT_TRUE(ReadUntil(child.get(), "Connection accepted on socket ", &log));
        std::string socket = std::regex_replace(log.back(), std::regex(R"(Connection accepted on socket (\d+) from .*)"), "$1");
        ASSERT_TRUE(ReadUntil(child.get(), "Socket " + socket + " response:", &log));
        EXPECT_EQ(log[log.size() - 2], "Socket " + socket + " request: 01 02 00 00 00 06 07 03 00 00 00 02");
        EXPECT_EQ(log.back(), "Socket " + socket + " response: 01 02 00 00 00 07 07 03 04 00 00 00 00");

        child->Signal(signalNumber);
        std::string rest = child->ReadToEnd(kBound);
        EXPECT_EQ(child->WaitForExit(kBound), 0);
        ASSERT_FALSE(rest.empty());
        rest.pop_back();   // the last newline
        std::string lastLine = rest.substr(rest.rfind('\n') + 1);
        EXPECT_EQ(MessageOf(lastLine), "Modbus Server stopped");
        EXPECT_NE(rest.find("Socket " + socket + " closed"), std::string::npos);
        EXPECT_EQ(rest.find("abnormally"), std::string::npos);
    }
}

// A reader that closes or stalls the pipe: Linux only. These tests are about what the system does to a
// writer (SIGPIPE, a write that blocks on a full pipe); under Wine the Windows build writes through
// Wine onto a Unix pipe, which would show neither Windows's behaviour nor Linux's.
using CliOutputPipeTest = CliProcessTest;

// `parvane-cli | grep -m1 started`: the reader leaves after the start line, and every later log line
// meets a closed pipe.
TEST_F(CliOutputPipeTest, ClosedOutputNeitherEndsTheServerNorItsOrderlyStop)
{
    uint16_t port = FreePort();
    Run({"--port", std::to_string(port), "--bind", "127.0.0.1", "--trace"});
    ASSERT_TRUE(child->WaitForLine("Modbus Server started on ", kBound));
    child->CloseOutput();
    for (uint16_t round = 1; round <= 3; ++round) {
        TestClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(round, 1, 0, 1)));
        EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0, static_cast<uint8_t>(round), 0, 0, 0, 5, 1, 3, 2, 0, 0}));
    }
    child->Signal(SIGTERM);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

// A reader that stops reading (a paused terminal, a full pipe) costs log lines, never answers or the
// stop; once it reads again it learns how many lines it missed.
TEST_F(CliOutputPipeTest, StalledOutputNeitherHoldsUpServingNorTheStop)
{
    // Each round logs far more than the pipe and the server's queue hold together.
    constexpr int kRequestsPerClient = 1000;
    uint16_t port = FreePort();
    Run({"--port", std::to_string(port), "--bind", "127.0.0.1", "--trace"});
    std::vector<std::string> log;
    ASSERT_TRUE(ReadUntil(child.get(), "Modbus Server started on ", &log));

    EXPECT_EQ(AnsweredUnderLoad(port, kRequestsPerClient), 4 * kRequestsPerClient);
    // Read again: every line whole, and the count of those that did not fit.
    ASSERT_TRUE(ReadUntil(child.get(), "Standard output was blocked: ", &log));
    EXPECT_TRUE(std::regex_match(log.back(), std::regex(R"(Standard output was blocked: [1-9]\d* log lines dropped)")))
        << log.back();

    // Stall it again, and stop while nothing reads: the stop must not wait for the reader.
    EXPECT_EQ(AnsweredUnderLoad(port, kRequestsPerClient), 4 * kRequestsPerClient);
    int output = child->TakeOutput();
    auto signalled = std::chrono::steady_clock::now();
    child->Signal(SIGTERM);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(2));
    close(output);
}

TEST_F(CliProcessTest, PortTakenExitsWithStatus1)
{
    int error = 0;
    SocketHandle holder = CreateTcpSocket(&error);
    ASSERT_EQ(BindSocket(holder, "127.0.0.1", 0), 0);
    ASSERT_EQ(ListenOnSocket(holder), 0);
    uint16_t port = 0;
    ASSERT_EQ(LocalPort(holder, &port), 0);
    Run({"--bind", "127.0.0.1", "--port", std::to_string(port)});
    std::string output = child->ReadToEnd(kBound);
    EXPECT_EQ(child->WaitForExit(kBound), 1);
    CloseSocket(holder);
    ASSERT_FALSE(output.empty());
    output.pop_back();
    EXPECT_EQ(MessageOf(output), "ERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use");
}

TEST_F(CliProcessTest, BadOptionsExitWithStatus2AndAMessage)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--port", "65536"},       {"--port", "-1"},
        {"--port", "5x"},          {"--port"},                 {"--bind", "1.2.3"},
        {"--bind", "localhost"},   {"--bind", "010.0.0.1"},    {"--registers", "0:0"},     {"--registers", "65535:2"},
        {"--registers", "10"},     {"--coils", "1:65536"},     {"--coils", "10:4294967290"}, {"--disable", "7"},
        {"--disable", "1,,3"},     {"--disable", "3,24"},      {"--frobnicate"},
        {"--discrete-inputs", "0:0"}, {"--discrete-inputs", "65535:2"}, {"--input-registers", "5"},
        {"--input-registers", "1:65536"}, {"--input-registers"},
        {"extra"},
        // Unit identifiers: 0 to 255, upward ranges, nothing empty; the two answers by name.
        {"--unit-ids", ""},        {"--unit-ids", "256"},      {"--unit-ids", "5-2"},      {"--unit-ids", "a"},
        {"--unit-ids", "1,"},      {"--unit-ids", "-3"},       {"--unknown-unit", "drop"}, {"--unknown-unit"},
        // Addresses of neither family, an IPv6 one in brackets where a bare one belongs, and the reverse.
        {"--bind", "::g"},         {"--bind", "[::1]"},        {"--bind", "1::2::3"},      {"--http", "::1:8502"},
        {"--http", "[127.0.0.1]:8502"},
        // Fault rules: unknown words, numbers out of range, a missing value.
        {"--fault", "wobble"},     {"--fault", "exception=0"}, {"--fault", "drop unit=300"}, {"--fault"},
        {"--fault-seed", "x"},
    };
    for (const std::vector<std::string>& options : cases) {
        SCOPED_TRACE(options[0] + (options.size() > 1 ? " " + options[1] : ""));
        Run(options, true);
        std::string output = child->ReadToEnd(kBound);
        EXPECT_EQ(child->WaitForExit(kBound), 2);
        EXPECT_EQ(output.rfind("parvane-cli: ", 0), 0u) << output;
        EXPECT_NE(output.find("\nUsage: parvane-cli"), std::string::npos);
    }
    // The same with the line itself.
    const std::string longValue(245, 'x');
    const struct {
        std::vector<std::string> options;
        std::string line;
    } told[] = {
        {{"--device-id", "Vendor=Acme"},
         "--device-id: expected NAME=VALUE with NAME one of VendorName, ProductCode, MajorMinorRevision, VendorUrl, "
         "ProductName, ModelName, got 'Vendor=Acme'"},
        {{"--device-id", "VendorName"}, "--device-id: expected NAME=VALUE with NAME one of VendorName, ProductCode, "
                                        "MajorMinorRevision, VendorUrl, ProductName, ModelName, got 'VendorName'"},
        {{"--device-id", "ModelName=" + longValue}, "--device-id: ModelName: must be at most 244 characters, got 245"},
        {{"--device-id", "VendorUrl=a\tb"},
         "--device-id: VendorUrl: must be printable ASCII (0x20 to 0x7E), got byte 9 at 1"},
        {{"--device-id"}, "option --device-id needs a value"},
        {{"--standard-limits", "--load", "state.json"},
         "--load takes the limits from its file: leave out --standard-limits, or set \"standardLimits\": true in the "
         "file's config"},
        {{"--device-id", "ProductName=P", "--load", "state.json"},
         "--load takes the device identification from its file: leave out --device-id, or set it in the file's "
         "deviceId"},
        {{"--fault", "delay=5-2"},
         "--fault: cannot read 'delay=5-2': expected delay=MS or delay=MIN-MAX, milliseconds 0 to 3600000, MIN at "
         "most MAX"},
        {{"--fault", "drop fc=3 sometimes"},
         "--fault: cannot read 'sometimes': not a condition: expected fc, address, unit, peer, every, after, count or "
         "probability"},
        {{"--fault", "drop", "--fault", "close probability=1.01"},
         "--fault: cannot read 'probability=1.01': expected probability=P with P from 0 to 1, e.g. 0.25"},
        {{"--fault-seed", "-1"}, "--fault-seed needs a number from 0 to 18446744073709551615, got '-1'"},
        {{"--generate", "registers 0 uint16 counter", "--generate", "registers 0 uint16 ramp"},
         "--generate: cannot read 'ramp': not a kind: expected counter, random, sine, triangle, sawtooth, square, "
         "time or copy"},
    };
    for (const auto& c : told) {
        SCOPED_TRACE(c.options[0] + (c.options.size() > 1 ? " " + c.options[1].substr(0, 20) : ""));
        Run(c.options, true);
        const std::string output = child->ReadToEnd(kBound);
        EXPECT_EQ(child->WaitForExit(kBound), 2);
        EXPECT_EQ(output.substr(0, output.find('\n')), "parvane-cli: " + c.line);
    }
}

// Linux only: the Windows build has no capture.
using CliCaptureOptionTest = CliProcessTest;

// Refused before anything listens: a capture that cannot be written is no capture.
TEST_F(CliCaptureOptionTest, UnwritableCaptureFileExitsWithStatus2AndALine)
{
    const struct {
        std::vector<std::string> options;
        std::string line;
    } told[] = {
        {{"--capture", "/nonexistent-dir/c.pcap"},
         "cannot create capture file: /nonexistent-dir/c.pcap: No such file or directory"},
        {{"--capture"}, "option --capture needs a value"},
        {{"--capture", "-"}, "cannot create capture file: '-' is not a file name (standard output holds the log)"},
    };
    for (const auto& c : told) {
        SCOPED_TRACE(c.options.back());
        Run(c.options, true);
        const std::string output = child->ReadToEnd(kBound);
        EXPECT_EQ(child->WaitForExit(kBound), 2);
        EXPECT_EQ(output.substr(0, output.find('\n')), "parvane-cli: " + c.line);
    }
}

// `parvane-cli --port 0 | grep -m1 Listening`: the system chooses the port, and the line tells it.
TEST_F(CliProcessTest, PortZeroListensWhereTheListeningLineSays)
{
    Run({"--port", "0", "--bind", "127.0.0.1"});
    std::vector<std::string> log;
    ASSERT_TRUE(ReadUntil(child.get(), "Listening on ", &log));
    std::smatch match;
    ASSERT_TRUE(std::regex_match(log.back(), match, std::regex(R"(Listening on 127\.0\.0\.1:(\d+))"))) << log.back();
    const int port = std::stoi(match[1].str());
    ASSERT_GT(port, 0);
    ASSERT_LE(port, 65535);
    TestClient client;
    ASSERT_TRUE(client.Connect(static_cast<uint16_t>(port)));
    ASSERT_TRUE(client.Send(ReadRegistersRequest(9, 1, 0, 1)));
    EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0, 9, 0, 0, 0, 5, 1, 3, 2, 0, 0}));
    child->Signal(CliStopSignal());
    child->ReadToEnd(kBound);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

// A header that is not Modbus/TCP ends that connection alone, without an answer, and the log says why.
TEST_F(CliProcessTest, FramingViolationClosesOnlyItsConnectionAndIsLogged)
{
    Run({"--port", "0", "--bind", "127.0.0.1"});
    std::vector<std::string> log;
    ASSERT_TRUE(ReadUntil(child.get(), "Listening on ", &log));
    const uint16_t port = static_cast<uint16_t>(std::stoi(log.back().substr(log.back().rfind(':') + 1)));
    TestClient good;
    TestClient bad;
    ASSERT_TRUE(good.Connect(port));
    ASSERT_TRUE(bad.Connect(port));
    // A read of one register with protocol identifier 1 (bytes 2-3), where Modbus/TCP has 0.
    ASSERT_TRUE(bad.Send({0, 1, 0, 1, 0, 6, 1, 3, 0, 0, 0, 1}));
    EXPECT_TRUE(bad.ClosedWithoutData());

    ASSERT_TRUE(ReadUntil(child.get(), "The request from client on socket ", &log));
    const std::string socket = std::regex_replace(log.back(), std::regex(R"(.* on socket (\d+) .*)"), "$1");
    EXPECT_EQ(log.back(), "The request from client on socket " + socket + " had invalid Protocol ID");
    const std::string accepted =
        "Connection accepted on socket " + socket + " from 127.0.0.1:" + std::to_string(bad.LocalPortNumber());
    EXPECT_NE(std::find(log.begin(), log.end(), accepted), log.end());
    ASSERT_TRUE(ReadUntil(child.get(), "Socket ", &log));
    EXPECT_EQ(log.back(), "Socket " + socket + " closed");

    ASSERT_TRUE(good.Send(ReadRegistersRequest(5, 1, 0, 1)));
    EXPECT_EQ(good.ReceiveResponse(), (std::vector<uint8_t>{0, 5, 0, 0, 0, 5, 1, 3, 2, 0, 0}));
    child->Signal(CliStopSignal());
    child->ReadToEnd(kBound);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

TEST_F(CliProcessTest, VersionAndHelp)
{
    Run({"--version"});
    EXPECT_EQ(child->ReadToEnd(kBound), "parvane-cli 1.0\nLicensed under the MIT License.\n");
    EXPECT_EQ(child->WaitForExit(kBound), 0);
    Run({"--help"});
    EXPECT_EQ(child->ReadToEnd(kBound).rfind("Usage: parvane-cli", 0), 0u);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

TEST_F(CliProcessTest, DataAreaAndFunctionOptionsShapeTheAnswers)
{
    uint16_t port = FreePort();
    Run({"--port", std::to_string(port), "--bind", "127.0.0.1", "--registers", "10:5", "--disable", "6,1",
         "--discrete-inputs", "20:4", "--input-registers", "30:2", "--unit-ids", "1,10-20", "--unknown-unit",
         "exception"});
    std::vector<std::string> log;
    ASSERT_TRUE(ReadUntil(child.get(), "Modbus Server started on ", &log));
    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    struct Case {
        std::vector<uint8_t> request;
        std::vector<uint8_t> response;
    } cases[] = {
        // Registers 10..14 only: 10..14 served, 9..10 and 14..15 refused with code 2.
        {ReadRegistersRequest(1, 1, 10, 5), {0, 1, 0, 0, 0, 13, 1, 3, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {ReadRegistersRequest(2, 1, 9, 2), {0, 2, 0, 0, 0, 3, 1, 0x83, 2}},
        {ReadRegistersRequest(3, 1, 14, 2), {0, 3, 0, 0, 0, 3, 1, 0x83, 2}},
        // Write single register (6) and read coils (1) switched off: code 1.
        {{0, 4, 0, 0, 0, 6, 1, 6, 0, 10, 0, 1}, {0, 4, 0, 0, 0, 3, 1, 0x86, 1}},
        {{0, 5, 0, 0, 0, 6, 1, 1, 0, 0, 0, 1}, {0, 5, 0, 0, 0, 3, 1, 0x81, 1}},
        // Discrete inputs 20..23 and input registers 30..31, each table by its own window.
        {{0, 6, 0, 0, 0, 6, 1, 2, 0, 20, 0, 4}, {0, 6, 0, 0, 0, 4, 1, 2, 1, 0}},
        {{0, 7, 0, 0, 0, 6, 1, 2, 0, 23, 0, 2}, {0, 7, 0, 0, 0, 3, 1, 0x82, 2}},
        {{0, 8, 0, 0, 0, 6, 1, 4, 0, 30, 0, 2}, {0, 8, 0, 0, 0, 7, 1, 4, 4, 0, 0, 0, 0}},
        {{0, 9, 0, 0, 0, 6, 1, 4, 0, 29, 0, 1}, {0, 9, 0, 0, 0, 3, 1, 0x84, 2}},
        // Units 1 and 10..20 only: another gets exception 11 (Gateway Target Device Failed to Respond).
        {ReadRegistersRequest(6, 20, 10, 1), {0, 6, 0, 0, 0, 5, 20, 3, 2, 0, 0}},
        {ReadRegistersRequest(7, 7, 10, 1), {0, 7, 0, 0, 0, 3, 7, 0x83, 0x0B}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(client.Send(c.request));
        EXPECT_EQ(client.ReceiveResponse(), c.response) << TransactionOf(c.request);
    }
    child->Signal(CliStopSignal());
    child->ReadToEnd(kBound);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

TEST_F(CliProcessTest, DisablingTwoAndFourRestoresIllegalFunction)
{
    uint16_t port = FreePort();
    Run({"--port", std::to_string(port), "--bind", "127.0.0.1", "--disable", "2,4"});
    std::vector<std::string> log;
    ASSERT_TRUE(ReadUntil(child.get(), "Modbus Server started on ", &log));
    TestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send({0, 1, 0, 0, 0, 6, 1, 2, 0, 0, 0, 1}));
    EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0, 1, 0, 0, 0, 3, 1, 0x82, 1}));
    ASSERT_TRUE(client.Send({0, 2, 0, 0, 0, 6, 1, 4, 0, 0, 0, 1}));
    EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0, 2, 0, 0, 0, 3, 1, 0x84, 1}));
    ASSERT_TRUE(client.Send(ReadRegistersRequest(3, 1, 0, 1)));
    EXPECT_EQ(client.ReceiveResponse(), (std::vector<uint8_t>{0, 3, 0, 0, 0, 5, 1, 3, 2, 0, 0}));
    child->Signal(CliStopSignal());
    child->ReadToEnd(kBound);
    EXPECT_EQ(child->WaitForExit(kBound), 0);
}

// Clients other than libmodbus, as a client developer would point them at Parvane: mbpoll and
// pymodbus read the four tables of a server seeded by a state file, its device identification and
// the code 8 echo, pymodbus writes coils and registers and reads them back, and mbpoll reports a
// switched-off code as the exception it is.
TEST_F(CliProcessTest, MbpollAndPymodbusReadTheSeededTablesAndTheNewCodes)
{
    const std::string mbpoll = "/usr/bin/mbpoll";
    const std::string python = "/usr/bin/python3";   // Debian's, where python3-pymodbus lives
    ASSERT_TRUE(std::filesystem::exists(mbpoll)) << "mbpoll is missing: scripts/install-deps.sh installs it";
    ASSERT_EQ(RunToEnd(python, {"-c", "import pymodbus"}).status, 0)
        << "pymodbus is missing (python3-pymodbus): scripts/install-deps.sh installs it";

    // Every table seeded with its own values, so that a code reading the wrong table shows; the
    // coils start at address 0 (mbpoll's reference 1) and run past a byte.
    struct Table {
        const char* member;         // in the state file
        const char* mbpollType;     // mbpoll -t
        const char* pymodbusKind;   // tests/server/pymodbus_client.py
        int start;
        std::vector<int> values;
    };
    const Table tables[] = {
        {"coils", "0", "coils", 0, {1, 0, 1, 1, 0, 0, 0, 0, 1}},
        {"discreteInputs", "1", "discrete-inputs", 40, {0, 1, 1, 0, 1}},
        {"inputRegisters", "3", "input-registers", 30, {230, 50, 0, 40000}},
        {"registers", "4", "holding-registers", 10, {4660, 65535, 7}},
    };
    const std::string modelName = "PV-Meter 42";
    const std::filesystem::path stateFile =
        std::filesystem::temp_directory_path() / ("parvane-peers-" + std::to_string(getpid()) + ".json");
    {
        std::ofstream file(stateFile);
        file << R"({"format": "parvane-state", "version": 1, "deviceId": {"ModelName": ")" << modelName << "\"}";
        for (const Table& table : tables) {
            file << ", \"" << table.member << "\": [{\"start\": " << table.start << ", \"values\": [";
            for (size_t index = 0; index < table.values.size(); ++index) {
                file << (index ? ", " : "") << table.values[index];
            }
            file << "]}]";
        }
        file << "}\n";
    }

    // Two servers on ports the system chooses: the seeded one, and a fresh one without code 4.
    std::unique_ptr<ChildProcess> servers[2];
    uint16_t ports[2] = {};
    const std::vector<std::string> serverOptions[2] = {{"--load", stateFile.string()}, {"--disable", "4"}};
    for (int index = 0; index < 2; ++index) {
        std::vector<std::string> options = {"--port", "0", "--bind", "127.0.0.1"};
        options.insert(options.end(), serverOptions[index].begin(), serverOptions[index].end());
        servers[index] = std::make_unique<ChildProcess>(CliProgram(), CliArguments(options));
        std::vector<std::string> log;
        ASSERT_TRUE(ReadUntil(servers[index].get(), "Listening on ", &log)) << servers[index]->Errors();
        ports[index] = static_cast<uint16_t>(std::stoi(log.back().substr(log.back().rfind(':') + 1)));
    }
    std::filesystem::remove(stateFile);

    struct Row {
        std::string what;
        int server;
        std::string program;
        std::vector<std::string> arguments;
        int status;
        std::vector<std::string> lines;   // must appear in the output in this order
    };
    std::vector<Row> rows;
    // mbpoll counts references from 1 (-r N reads address N - 1) and shows a register above 32767
    // with its signed reading too.
    std::vector<std::string> pymodbusRequests;
    std::vector<std::string> pymodbusLines;
    for (const Table& table : tables) {
        Row row{std::string("mbpoll -t ") + table.mbpollType, 0, mbpoll,
                {"-m", "tcp", "-a", "1", "-p", std::to_string(ports[0]), "-1", "-o", "2", "-t", table.mbpollType,
                 "-r", std::to_string(table.start + 1), "-c", std::to_string(table.values.size()), "127.0.0.1"},
                0, {}};
        std::string request = std::string(table.pymodbusKind) + ":" + std::to_string(table.start) + ":" +
                              std::to_string(table.values.size());
        std::string answer = request;
        for (size_t index = 0; index < table.values.size(); ++index) {
            const int value = table.values[index];
            row.lines.push_back("[" + std::to_string(table.start + 1 + static_cast<int>(index)) + "]: \t" +
                                std::to_string(value) + (value > 32767 ? " (" + std::to_string(value - 65536) + ")" : ""));
            answer += " " + std::to_string(value);
        }
        rows.push_back(row);
        pymodbusRequests.push_back(request);
        pymodbusLines.push_back(answer);
    }
    rows.push_back({"mbpoll -t 3 with code 4 disabled", 1, mbpoll,
                    {"-m", "tcp", "-a", "1", "-p", std::to_string(ports[1]), "-1", "-o", "2", "-t", "3", "-r", "1",
                     "127.0.0.1"},
                    1, {"Read input register failed: Illegal function"}});
    // Codes 15 and 16 where nothing was seeded, each read back; the register run holds the extremes.
    pymodbusRequests.insert(pymodbusRequests.end(),
                            {"write-coils:100:1,0,1,1", "coils:100:4", "write-registers:200:65535,0,4660",
                             "holding-registers:200:3"});
    pymodbusLines.insert(pymodbusLines.end(), {"write-coils:100:1,0,1,1 100 4", "coils:100:4 1 0 1 1",
                                               "write-registers:200:65535,0,4660 200 3",
                                               "holding-registers:200:3 65535 0 4660"});
    // Code 43/14, basic (1) and regular (2) streams; code 8, Return Query Data.
    const std::string basicObjects = "0=Parvane 1=parvane 2=1.0";
    pymodbusRequests.insert(pymodbusRequests.end(), {"device-id:1", "device-id:2", "echo:0x1234,0xABCD,0"});
    pymodbusLines.insert(pymodbusLines.end(), {"device-id:1 " + basicObjects,
                                               "device-id:2 " + basicObjects + " 3= 4=Parvane 5=" + modelName,
                                               "echo:0x1234,0xABCD,0 4660 43981 0"});
    std::vector<std::string> pymodbusArguments = {PARVANE_PYMODBUS_CLIENT, std::to_string(ports[0])};
    pymodbusArguments.insert(pymodbusArguments.end(), pymodbusRequests.begin(), pymodbusRequests.end());
    rows.push_back({"pymodbus", 0, python, pymodbusArguments, 0, pymodbusLines});
    pymodbusArguments = {PARVANE_PYMODBUS_CLIENT, std::to_string(ports[1]), "input-registers:0:1", "echo:7"};
    rows.push_back({"pymodbus with code 4 disabled", 1, python, pymodbusArguments, 0,
                    {"input-registers:0:1 exception 1", "echo:7 7"}});

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ChildOptions merged;
        merged.errors = ChildErrors::kMerged;
        const ChildResult result = RunToEnd(row.program, row.arguments, merged);
        EXPECT_EQ(result.status, row.status) << result.output;
        std::istringstream output(result.output);
        std::string line;
        size_t found = 0;
        while (found < row.lines.size() && std::getline(output, line)) {
            found += line == row.lines[found] ? 1 : 0;
        }
        EXPECT_EQ(found, row.lines.size()) << "missing: " << (found < row.lines.size() ? row.lines[found] : "")
                                           << "\nin:\n" << result.output;
    }

    for (std::unique_ptr<ChildProcess>& server : servers) {
        server->Signal(CliStopSignal());
        server->ReadToEnd(kBound);
        EXPECT_EQ(server->WaitForExit(kBound), 0);
    }
}

}  // namespace
