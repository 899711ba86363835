#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/test_client.h"
#include "support/cli_program.h"
#include "support/child_process.h"

// The fault rules as clients meet them: parvane-cli run with --fault, a raw client that measures the
// bytes and their timing, and libmodbus where a real client's view is the point.

namespace {

constexpr Milliseconds kBound{10000};
// The normal answer to ReadRegistersRequest(0x0102, 7, 0, 2) against zeroed registers.
const std::vector<uint8_t> kNormalAnswer = {1, 2, 0, 0, 0, 7, 7, 3, 4, 0, 0, 0, 0};

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// parvane-cli on a free loopback port with the given rules and seed 7.
class FaultServer {
public:
    explicit FaultServer(const std::vector<std::string>& rules)
    {
        port = FreePort();
        std::vector<std::string> arguments = {"--port", std::to_string(port), "--bind", "127.0.0.1", "--fault-seed", "7"};
        for (const std::string& rule : rules) {
            arguments.push_back("--fault");
            arguments.push_back(rule);
        }
        started = child.Start(CliProgram(), CliArguments(arguments)) && child.WaitForLine("Modbus Server started on ", kBound);
    }

    ChildProcess child;
    uint16_t port = 0;
    bool started = false;
};

std::vector<uint8_t> Received(TestClient* client, int count, int milliseconds = 3000)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    return client->Receive(bytes.data(), count, milliseconds) ? bytes : std::vector<uint8_t>{};
}

std::vector<uint8_t> WithByte(std::vector<uint8_t> bytes, size_t offset, uint8_t value)
{
    bytes[offset] = value;
    return bytes;
}

modbus_t* LibmodbusClient(uint16_t port, int timeoutMilliseconds)
{
    modbus_t* context = modbus_new_tcp("127.0.0.1", port);
    modbus_set_response_timeout(context, 0, static_cast<uint32_t>(timeoutMilliseconds) * 1000);
    modbus_set_slave(context, 7);
    if (modbus_connect(context) != 0) {
        modbus_free(context);
        return nullptr;
    }
    return context;
}

struct ActionCase {
    std::string rule;
    // Sends ReadRegistersRequest(0x0102, 7, 0, 2) first, then checks what came back.
    std::function<void(TestClient*, FaultServer*)> check;
};

TEST(FaultActionProcessTest, EachActionShapesTheAnswerAsItsRuleSays)
{
    const ActionCase cases[] = {
        {"delay=300",
         [](TestClient* client, FaultServer*) {
             auto start = Clock::now();
             EXPECT_EQ(client->ReceiveResponse(3000), kNormalAnswer);
             EXPECT_GE(MillisecondsSince(start), 290);
             EXPECT_LT(MillisecondsSince(start), 2000);
         }},
        {"delay=200-400",
         [](TestClient* client, FaultServer*) {
             auto start = Clock::now();
             EXPECT_EQ(client->ReceiveResponse(3000), kNormalAnswer);
             EXPECT_GE(MillisecondsSince(start), 190);
             EXPECT_LT(MillisecondsSince(start), 2000);
         }},
        // Dropped once, then served: the connection carries on.
        {"drop count=1",
         [](TestClient* client, FaultServer*) {
             EXPECT_TRUE(client->Silent(400));
             ASSERT_TRUE(client->Send(ReadRegistersRequest(0x0102, 7, 0, 2)));
             EXPECT_EQ(client->ReceiveResponse(), kNormalAnswer);
         }},
        {"close", [](TestClient* client, FaultServer*) { EXPECT_TRUE(client->ClosedWithoutData(3000)); }},
        {"exception=6", [](TestClient* client, FaultServer*) {
             EXPECT_EQ(client->ReceiveResponse(), (std::vector<uint8_t>{1, 2, 0, 0, 0, 3, 7, 0x83, 6}));
         }},
        {"corrupt=transaction-id",
         [](TestClient* client, FaultServer*) { EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 1, 3)); }},
        {"corrupt=protocol-id",
         [](TestClient* client, FaultServer*) { EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 3, 1)); }},
        {"corrupt=length",
         [](TestClient* client, FaultServer*) {
             EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 5, 8));
             EXPECT_TRUE(client->Silent(200));   // the byte the length promises never comes
         }},
        {"corrupt=unit-id",
         [](TestClient* client, FaultServer*) { EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 6, 8)); }},
        {"corrupt=function",
         [](TestClient* client, FaultServer*) { EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 7, 4)); }},
        {"corrupt=byte-count",
         [](TestClient* client, FaultServer*) { EXPECT_EQ(Received(client, 13), WithByte(kNormalAnswer, 8, 5)); }},
        // The first five bytes, then nothing; the next request is answered whole.
        {"truncate=5 count=1",
         [](TestClient* client, FaultServer*) {
             EXPECT_EQ(Received(client, 5), std::vector<uint8_t>(kNormalAnswer.begin(), kNormalAnswer.begin() + 5));
             EXPECT_TRUE(client->Silent(200));
             ASSERT_TRUE(client->Send(ReadRegistersRequest(0x0102, 7, 0, 2)));
             EXPECT_EQ(Received(client, 13), kNormalAnswer);
         }},
        // Four pieces 100 ms apart: the first alone, the whole after three pauses.
        {"split=4/100",
         [](TestClient* client, FaultServer*) {
             auto start = Clock::now();
             EXPECT_EQ(Received(client, 4), std::vector<uint8_t>(kNormalAnswer.begin(), kNormalAnswer.begin() + 4));
             EXPECT_TRUE(client->Silent(40));
             std::vector<uint8_t> rest = Received(client, 9);
             EXPECT_GE(MillisecondsSince(start), 290);
             EXPECT_EQ(rest, std::vector<uint8_t>(kNormalAnswer.begin() + 4, kNormalAnswer.end()));
         }},
        {"garbage=16",
         [](TestClient* client, FaultServer*) {
             std::vector<uint8_t> bytes = Received(client, 16 + 13);
             ASSERT_EQ(bytes.size(), 29u);
             EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.end()), kNormalAnswer);
             EXPECT_NE(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 13), kNormalAnswer);
             EXPECT_TRUE(client->Silent(100));
         }},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.rule);
        FaultServer server({c.rule});
        ASSERT_TRUE(server.started);
        TestClient client;
        ASSERT_TRUE(client.Connect(server.port));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(0x0102, 7, 0, 2)));
        c.check(&client, &server);
        ASSERT_TRUE(server.child.WaitForLine("Fault on socket ", kBound));
    }
}

// A real client's view: Server Device Busy instead of a write that never happens, a time-out for
// a dropped request, and a split response put together again.
TEST(FaultActionProcessTest, LibmodbusSeesBusyTimeOutAndReassembledAnswers)
{
    FaultServer server({"exception=6 fc=6", "drop fc=4", "split=3/20 fc=3"});
    ASSERT_TRUE(server.started);
    modbus_t* context = LibmodbusClient(server.port, 1000);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(modbus_write_register(context, 10, 1234), -1);
    EXPECT_EQ(errno, EMBXSBUSY);
    uint16_t values[2] = {99, 99};
    ASSERT_EQ(modbus_read_registers(context, 10, 1, values), 1);
    EXPECT_EQ(values[0], 0);   // the busy write wrote nothing
    EXPECT_EQ(modbus_read_input_registers(context, 0, 2, values), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_close(context);
    modbus_free(context);
}

// One request of the condition tables: a read of `quantity` registers at `address` with code 3 (or
// of input registers with code 4), for `unit`.
struct Probe {
    uint8_t functionCode;
    uint16_t address;
    uint16_t quantity;
    uint8_t unit;
};

// 'x' for each request answered with the rule's exception 4, '.' for a normal answer.
std::string FaultPattern(const std::vector<std::string>& rules, const std::vector<Probe>& probes)
{
    FaultServer server(rules);
    TestClient client;
    if (!server.started || !client.Connect(server.port)) {
        return "no server";
    }
    std::string pattern;
    uint16_t transaction = 0;
    for (const Probe& probe : probes) {
        std::vector<uint8_t> request = ReadRegistersRequest(++transaction, probe.unit, probe.address, probe.quantity);
        request[7] = probe.functionCode;
        std::vector<uint8_t> answer = client.Send(request) ? client.ReceiveResponse() : std::vector<uint8_t>{};
        pattern += answer.size() == 9 && answer[8] == 4 ? 'x' : answer.size() > 9 ? '.' : '?';
    }
    return pattern;
}

std::vector<Probe> Reads(int count)
{
    return std::vector<Probe>(static_cast<size_t>(count), Probe{3, 0, 1, 1});
}

TEST(FaultConditionProcessTest, ARuleActsOnlyWhereAllItsConditionsHold)
{
    const struct {
        std::vector<std::string> rules;
        std::vector<Probe> probes;
        std::string pattern;
    } cases[] = {
        {{"exception=4 fc=3,16"}, {{3, 0, 1, 1}, {4, 0, 1, 1}, {3, 5, 1, 1}}, "x.x"},
        // Any requested cell in the range: 90-99 misses 100-199, 95-104 and 199 hit, 200 misses.
        {{"exception=4 address=100-199"}, {{3, 90, 10, 1}, {3, 95, 10, 1}, {3, 199, 1, 1}, {3, 200, 5, 1}}, ".xx."},
        {{"exception=4 unit=2-3"}, {{3, 0, 1, 1}, {3, 0, 1, 2}, {3, 0, 1, 3}, {3, 0, 1, 4}}, ".xx."},
        {{"exception=4 peer=127.0.0.1"}, Reads(2), "xx"},
        {{"exception=4 peer=127.0.0.2"}, Reads(2), ".."},
        {{"exception=4 every=3"}, Reads(7), "..x..x."},
        {{"exception=4 after=2"}, Reads(5), "..xxx"},
        {{"exception=4 count=2"}, Reads(4), "xx.."},
        {{"exception=4 every=2 after=1 count=2"}, Reads(8), "..x.x..."},
        // The first rule that holds acts; the second sees only what the first let through.
        {{"exception=4 every=2", "exception=4 unit=1 every=2"}, Reads(6), ".xxx.x"},
        {{"exception=4 probability=0"}, Reads(3), "..."},
        {{"exception=4 probability=1"}, Reads(3), "xxx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rules[0]);
        EXPECT_EQ(FaultPattern(c.rules, c.probes), c.pattern);
    }
}

TEST(FaultConditionProcessTest, ASeedRepeatsTheRandomChoices)
{
    const std::string first = FaultPattern({"exception=4 probability=0.5"}, Reads(24));
    EXPECT_EQ(FaultPattern({"exception=4 probability=0.5"}, Reads(24)), first);
    EXPECT_NE(first.find('x'), std::string::npos) << first;
    EXPECT_NE(first.find('.'), std::string::npos) << first;
}

// A delayed response holds up neither a stop nor an eviction: the wait ends at the kick.
TEST(FaultKickProcessTest, StopAndEvictionEndATenSecondDelayAtOnce)
{
    constexpr int64_t kEndBoundMs = 2000;
    {
        FaultServer server({"delay=10000"});
        ASSERT_TRUE(server.started);
        TestClient client;
        ASSERT_TRUE(client.Connect(server.port));
        ASSERT_TRUE(client.Send(ReadRegistersRequest(1, 1, 0, 1)));
        ASSERT_TRUE(server.child.WaitForLine("response delayed 10000 ms (rule 1)", kBound));
        auto start = Clock::now();
        server.child.Signal(CliStopSignal());
        EXPECT_EQ(server.child.WaitForExit(kBound), 0);
        EXPECT_LT(MillisecondsSince(start), kEndBoundMs);
        EXPECT_TRUE(client.ClosedWithoutData(1000));
    }
    {
        // The delayed client is the idlest of four (the others have just been answered), so the
        // fifth connection evicts it.
        FaultServer server({"delay=10000 count=1"});
        ASSERT_TRUE(server.started);
        TestClient delayed;
        ASSERT_TRUE(delayed.Connect(server.port));
        ASSERT_TRUE(delayed.Send(ReadRegistersRequest(1, 1, 0, 1)));
        ASSERT_TRUE(server.child.WaitForLine("response delayed 10000 ms (rule 1)", kBound));
        TestClient others[3];
        for (TestClient& other : others) {
            ASSERT_TRUE(other.Connect(server.port));
            ASSERT_TRUE(other.Send(ReadRegistersRequest(2, 1, 0, 1)));
            ASSERT_EQ(other.ReceiveResponse().size(), 11u);
        }
        auto start = Clock::now();
        TestClient fifth;
        ASSERT_TRUE(fifth.Connect(server.port));
        ASSERT_TRUE(fifth.Send(ReadRegistersRequest(3, 1, 0, 1)));
        EXPECT_EQ(fifth.ReceiveResponse(static_cast<int>(kEndBoundMs)).size(), 11u);
        EXPECT_LT(MillisecondsSince(start), kEndBoundMs);
        EXPECT_TRUE(delayed.ClosedWithoutData(1000));
    }
}

// Requests sent behind a delayed one wait their turn and are answered in order.
TEST(FaultKickProcessTest, PipelinedRequestsBehindADelayAreAnsweredInOrder)
{
    FaultServer server({"delay=200 count=1"});
    ASSERT_TRUE(server.started);
    TestClient client;
    ASSERT_TRUE(client.Connect(server.port));
    std::vector<uint8_t> three;
    for (uint16_t transaction = 1; transaction <= 3; ++transaction) {
        std::vector<uint8_t> request = ReadRegistersRequest(transaction, 1, 0, 1);
        three.insert(three.end(), request.begin(), request.end());
    }
    ASSERT_TRUE(client.Send(three));
    for (uint16_t transaction = 1; transaction <= 3; ++transaction) {
        std::vector<uint8_t> answer = client.ReceiveResponse(3000);
        ASSERT_EQ(answer.size(), 11u);
        EXPECT_EQ(TransactionOf(answer), transaction);
    }
}

}  // namespace
