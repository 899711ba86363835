// Port and resources: the port taken, the bind address not local, and the descriptor limit
// lowered so that accept fails. Each failure must be logged with its text, and the server must
// either go on or stop in order, never crash.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "modbus_client.h"
#include "stress_harness.h"

namespace {

constexpr uint16_t kQuietZone = 30000;

std::string DescribeStatus(int status)
{
    if (status > 128) {
        return "killed by signal " + std::to_string(status - 128);
    }
    return "exit status " + std::to_string(status);
}

void DumpLog(const LogBook& log)
{
    for (const std::string& line : log.Lines()) {
        std::fprintf(stderr, "  log: %s\n", line.c_str());
    }
}

// The server must refuse to start: `expectedLine` logged, no start line, exit status 1.
std::string ExpectStartFailure(const std::string& cli, const std::vector<std::string>& args,
                               const std::string& expectedLine)
{
    ServerProcess server;
    if (!server.Spawn(cli, args)) {
        Fail("could not run %s", cli.c_str());
        return "not run";
    }
    int status = 0;
    if (!server.WaitExit(10000, &status)) {
        Fail("parvane-cli %s did not exit within 10 s", args.back().c_str());
        DumpLog(server.log);
        return "did not exit";
    }
    bool logged = server.log.Count(expectedLine) == 1;
    bool started = server.log.Count("Modbus Server started") > 0;
    bool exitOne = status == 1;
    STRESS_CHECK(logged, "\"%s\" was not logged", expectedLine.c_str());
    STRESS_CHECK(!started, "the server logged a start although it could not bind");
    STRESS_CHECK(exitOne, "parvane-cli ended with %s, expected exit status 1", DescribeStatus(status).c_str());
    if (!logged) {
        DumpLog(server.log);
    }
    return DescribeStatus(status) + (logged ? ", logged" : ", NOT logged");
}

std::string PortTaken(const std::string& cli)
{
    int holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (holder < 0 || bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(holder, 4) != 0 || getsockname(holder, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        Fail("could not take a port for the test");
        return "not run";
    }
    uint16_t port = ntohs(address.sin_port);
    std::string result = ExpectStartFailure(cli, {"--bind", "127.0.0.1", "--port", std::to_string(port)},
                                            "ERROR: Unable to bind listen socket : WSAEADDRINUSE: Address already in use");
    pollfd entry{holder, POLLIN, 0};
    STRESS_CHECK(poll(&entry, 1, 0) == 0, "a connection reached the port holder");
    close(holder);
    return result;
}

// 192.0.2.1 (TEST-NET-1) is no address of this machine: bind fails before anything is sent.
std::string AddressNotLocal(const std::string& cli)
{
    return ExpectStartFailure(cli, {"--bind", "192.0.2.1", "--port", std::to_string(PickFreePort())},
                              "ERROR: Unable to bind listen socket : WSAEADDRNOTAVAIL: Cannot assign requested address");
}

bool Answers(ModbusConnection* connection, uint16_t id)
{
    Bytes request = MakeAdu(id, 1, ReadRegistersPdu(kQuietZone, 3));
    Bytes response;
    return connection->Transact(request, &response, 2000) == IoResult::kOk &&
           response == RegistersResponse(request, {0, 0, 0});
}

// With RLIMIT_NOFILE two above what the resting server holds, accept runs out of descriptors:
// EMFILE, which is not one of accept's transient failures.
std::string DescriptorLimit(const std::string& cli)
{
    int highest = -1;
    {
        ServerProcess probe;
        uint16_t port = 0;
        if (!StartCliServer(&probe, cli, &port)) {
            return "not run";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        highest = probe.HighestDescriptor();
        StopCliServer(&probe);
    }
    if (highest < 0) {
        Fail("could not read the server's descriptors");
        return "not run";
    }
    long limit = highest + 3;   // room for two client sockets
    ServerProcess server;
    uint16_t port = 0;
    if (!StartCliServer(&server, cli, &port, {}, limit)) {
        return "did not start under the limit";
    }
    std::vector<std::unique_ptr<ModbusConnection>> clients;
    int served = 0;
    long failureLine = -1;
    for (int i = 0; i < 6 && failureLine < 0; ++i) {
        auto client = std::make_unique<ModbusConnection>();
        if (!client->Connect(port, 2000)) {
            break;   // nobody listens any more
        }
        if (Answers(client.get(), static_cast<uint16_t>(i))) {
            ++served;
        }
        clients.push_back(std::move(client));
        failureLine = server.log.WaitForLine("ERROR: ", 0, served == i + 1 ? 200 : 3000);
    }
    // Linux's accept takes a descriptor number before it waits, so the accept right after the
    // second connection already fails: one or two clients are served.
    STRESS_CHECK(served >= 1 && served <= 2, "%d clients served under a limit with room for two sockets", served);
    if (failureLine < 0) {
        Fail("no accept failure was logged with the descriptor limit at %ld", limit);
        DumpLog(server.log);
        return "no failure logged";
    }
    std::string failure = server.log.Lines()[static_cast<size_t>(failureLine)];
    STRESS_CHECK(failure.find("WSAEMFILE: Too many open files") != std::string::npos,
                 "the accept failure was logged as \"%s\"", failure.c_str());

    std::string outcome;
    bool stoppedItself = failure.rfind("ERROR: Listen thread terminated abnormally : ", 0) == 0;
    if (stoppedItself) {
        // The run ends in order: every connection closed, then the stop line, last.
        bool stopped = server.log.WaitForLine("Modbus Server stopped", static_cast<size_t>(failureLine), 10000) >= 0;
        STRESS_CHECK(stopped, "no \"Modbus Server stopped\" after the abnormal end");
        std::vector<std::string> lines = server.log.Lines();
        ConnectionLedger after = ReadLedger(lines, static_cast<size_t>(failureLine));
        ConnectionLedger before = ReadLedger(lines, 0, static_cast<size_t>(failureLine));
        STRESS_CHECK(after.closed == before.accepted - before.closed,
                     "%d connections open at the failure, %d closed after it", before.accepted - before.closed,
                     after.closed);
        STRESS_CHECK(!lines.empty() && lines.back() == "Modbus Server stopped", "the last line is \"%s\"",
                     lines.empty() ? "" : lines.back().c_str());
        for (auto& client : clients) {
            STRESS_CHECK(client->WaitClosedByPeer(5000) == IoResult::kOk, "a client stayed connected after the stop");
        }
        outcome = "the server stopped in order";
    } else {
        // The server went on: once the clients leave, a new one must be served.
        clients.clear();
        ModbusConnection later;
        bool servedLater = false;
        for (int64_t deadline = NowMilliseconds() + 5000; !servedLater && NowMilliseconds() < deadline;) {
            servedLater = later.Connect(port, 1000) && Answers(&later, 99);
        }
        STRESS_CHECK(servedLater, "after the accept failure the server serves nobody");
        outcome = "the server went on serving";
    }
    // After an abnormal end parvane-cli leaves by itself, with status 1; a server that went on
    // is stopped with SIGTERM and must leave with 0.
    int status = 0;
    bool endedItself = server.WaitExit(stoppedItself ? 5000 : 200, &status);
    if (!endedItself) {
        server.Signal(SIGTERM);
        if (!server.WaitExit(10000, &status)) {
            Fail("no exit within 10 s of SIGTERM");
        }
    }
    STRESS_CHECK(status <= 128, "parvane-cli %s", DescribeStatus(status).c_str());
    int expectedStatus = endedItself ? 1 : 0;
    STRESS_CHECK(status == expectedStatus, "parvane-cli ended with %s, expected %d",
                 DescribeStatus(status).c_str(), expectedStatus);
    return "limit " + std::to_string(limit) + ", " + std::to_string(served) + " clients served, then \"" + failure +
           "\", " + outcome + ", " + (endedItself ? "ended by itself with " : "SIGTERM then ") +
           DescribeStatus(status);
}

// Connections that their clients reset while they wait in the backlog. Linux's accept may report
// such a connection as failed (ECONNABORTED), which must not end the server; or hand it over, and
// its first receive fails. To have a backlog at all the listener is held up in an eviction: all four
// slots busy, the idlest one a client whose send is blocked because it never reads.
std::string ResetInBacklog(const std::string& cli)
{
    ServerProcess server;
    uint16_t port = 0;
    if (!StartCliServer(&server, cli, &port)) {
        return "not run";
    }
    ModbusConnection nonReader;
    bool blocked = nonReader.Connect(port, 3000, 4096) &&
                   nonReader.FloodUntilServerBlocks(MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 125)), 1500, 30000);
    STRESS_CHECK(blocked, "the client that never reads did not get the server's send blocked");
    std::atomic<bool> over{false};
    std::atomic<long> activeAnswers{0};
    std::vector<std::thread> actives;
    for (int i = 0; i < 3; ++i) {
        actives.emplace_back([&, i] {
            ModbusConnection connection;
            if (!connection.Connect(port)) {
                return;
            }
            for (uint16_t id = 0; !over && Answers(&connection, id); ++id) {
                ++activeAnswers;
            }
            (void)i;
        });
    }
    server.log.WaitUntil([](const std::vector<std::string>& lines) { return ReadLedger(lines).accepted >= 4; }, 5000);
    // The fifth connection makes the listener evict the idlest, the blocked one, and wait for it.
    ModbusConnection fifth;
    fifth.Connect(port);
    fifth.SendAll(MakeAdu(5, 1, ReadRegistersPdu(kQuietZone, 3)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int kResets = 16;
    int resets = 0;
    for (int i = 0; i < kResets; ++i) {
        ModbusConnection doomed;
        if (doomed.Connect(port, 2000)) {
            doomed.Reset();
            ++resets;
        }
    }
    over = true;
    for (std::thread& active : actives) {
        active.join();
    }
    fifth.Close();
    // The server must still serve, and end every connection it accepted.
    ModbusConnection later;
    bool servedLater = false;
    for (int64_t deadline = NowMilliseconds() + 10000; !servedLater && NowMilliseconds() < deadline;) {
        servedLater = later.Connect(port, 1000) && Answers(&later, 99);
    }
    later.Close();
    nonReader.Close();
    STRESS_CHECK(servedLater, "no client is served after connections were reset in the backlog");
    bool settled = server.log.WaitUntil(
        [](const std::vector<std::string>& lines) {
            ConnectionLedger ledger = ReadLedger(lines);
            return ledger.accepted == ledger.closed;
        },
        10000);
    ConnectionLedger ledger = ReadLedger(server.log.Lines());
    STRESS_CHECK(settled, "%d connections accepted, %d closed", ledger.accepted, ledger.closed);
    STRESS_CHECK(server.log.Count("ERROR: Listen thread terminated abnormally") == 0,
                 "a connection reset in the backlog ended the server");
    STRESS_CHECK(ledger.otherErrors == 0, "unexpected error lines");
    long stopMs = StopCliServer(&server);
    // Of the resets, the ones the listener handed a slot show up as accepted connections.
    int resetAccepted = ledger.accepted - 1 /* blocked */ - 3 /* active */ - 1 /* fifth */ - 1 /* later */;
    return std::to_string(resets) + " connections reset in the backlog, " + std::to_string(resetAccepted) +
           " of them accepted (" + std::to_string(ledger.receiveErrors) + " receive errors, " +
           std::to_string(ledger.disconnected) + " disconnects logged), the server went on serving " +
           (stopMs >= 0 ? "and stopped in order" : "but did not stop in order");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string cli = CliPathFromArgs(argc, argv);
    if (cli.empty()) {
        std::fprintf(stderr, "usage: %s --cli PATH\n", argv[0]);
        return 2;
    }
    std::string taken = PortTaken(cli);
    std::string notLocal = AddressNotLocal(cli);
    std::string limit = DescriptorLimit(cli);
    std::string backlog = ResetInBacklog(cli);
    std::string figure = "port taken: " + taken + "; bind 192.0.2.1: " + notLocal + "; descriptor limit: " + limit +
                         "; resets in the backlog: " + backlog;
    return FinishScenario("port_resources", figure);
}
