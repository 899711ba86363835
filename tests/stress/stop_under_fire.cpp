// Stop under fire: the server is started and stopped many times while clients are connected,
// pipelining requests, stalled in the middle of a request, idle, not reading their responses, or
// connecting anew. Every stop must complete within the send bound plus one second, log
// "Modbus Server stopped" as its last line after one "Socket %d closed" per accepted connection,
// and the next start on the same port must work.
//
// --in-process: through the library interface (StartServer, StopServer, WaitServerStopped), the
//               way the console drives it; this is the variant the sanitizer builds run.
// --cli PATH:   through SIGTERM to the executable, restarted on the same port each time.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "in_process_server.h"
#include "modbus_client.h"
#include "server/server_control.h"
#include "stress_harness.h"

namespace {

constexpr int kSendBoundMs = 5000;   // the server gives up a send to a client that does not read
constexpr int kStopBoundMs = kSendBoundMs + 1000 + kSanitizerSlackMs;
constexpr uint16_t kReadAddress = 40000;   // nobody writes here: reads answer zeros
constexpr uint16_t kReadCount = 10;

Bytes ZeroReadResponse(const Bytes& request)
{
    return RegistersResponse(request, std::vector<uint16_t>(kReadCount, 0));
}

struct FireTally {
    std::atomic<long> pipelinedAnswers{0};
    std::atomic<long> wrongAnswers{0};
    std::atomic<long> connectorRequests{0};
    std::atomic<long> clientsStarted{0};
};

// One kind of client per thread; each ends by itself once the server has closed its connection,
// and every wait is bounded.
class Fire {
public:
    Fire(uint16_t port, FireTally* tally) : port_(port), tally_(tally) {}

    ~Fire() { Join(); }

    void Pipeliner()
    {
        threads_.emplace_back([this] {
            auto connection = std::make_shared<ModbusConnection>();
            if (!connection->Connect(port_)) {
                return;
            }
            ++tally_->clientsStarted;
            std::atomic<bool> done{false};
            std::thread writer([&] {
                for (uint16_t id = 0; !done; ++id) {
                    if (connection->SendAll(MakeAdu(id, 1, ReadRegistersPdu(kReadAddress, kReadCount)), 2000) !=
                        IoResult::kOk) {
                        break;
                    }
                }
            });
            // Responses come in request order, one per request, each one whole.
            for (uint16_t id = 0;; ++id) {
                Bytes response;
                if (connection->ReceiveAdu(&response, 10000) != IoResult::kOk) {
                    break;
                }
                if (response != ZeroReadResponse(MakeAdu(id, 1, ReadRegistersPdu(kReadAddress, kReadCount)))) {
                    ++tally_->wrongAnswers;
                    Fail("pipelined answer %u is %s", id, Hex(response).c_str());
                    break;
                }
                ++tally_->pipelinedAnswers;
            }
            done = true;
            connection->ShutdownBoth();   // ends the writer's send at once
            writer.join();
        });
    }

    // Sends `bytes` and then waits, bounded, for the server to end the connection.
    void Staller(Bytes bytes)
    {
        threads_.emplace_back([this, bytes] {
            ModbusConnection connection;
            if (!connection.Connect(port_)) {
                return;
            }
            ++tally_->clientsStarted;
            if (!bytes.empty()) {
                connection.SendAll(bytes);
            }
            connection.WaitClosedByPeer(20000);
        });
    }

    // Floods requests and never reads, until the server is blocked in a send to it; then waits
    // for the server to give up on it.
    void NonReader()
    {
        threads_.emplace_back([this] {
            ModbusConnection connection;
            if (!connection.Connect(port_, 3000, 4096)) {
                nonReaderStuck = true;
                return;
            }
            ++tally_->clientsStarted;
            connection.FloodUntilServerBlocks(MakeAdu(1, 1, ReadRegistersPdu(kReadAddress, 125)), 1500, 30000);
            nonReaderStuck = true;
            connection.PeerHungUp(20000);
            nonReaderEndedAt = NowMilliseconds();
        });
    }

    // Connects, asks once, closes, again and again until told to stop; through the stop too.
    void Connector(std::atomic<bool>* over)
    {
        threads_.emplace_back([this, over] {
            for (uint16_t id = 0; !*over; ++id) {
                ModbusConnection connection;
                if (!connection.Connect(port_, 500)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    continue;
                }
                Bytes request = MakeAdu(id, 1, ReadRegistersPdu(kReadAddress, kReadCount));
                Bytes response;
                IoResult result = connection.Transact(request, &response, 2000);
                if (result == IoResult::kOk) {
                    ++tally_->connectorRequests;
                    if (response != ZeroReadResponse(request)) {
                        ++tally_->wrongAnswers;
                        Fail("connector answer is %s", Hex(response).c_str());
                    }
                }
            }
        });
    }

    void Join()
    {
        for (std::thread& thread : threads_) {
            thread.join();
        }
        threads_.clear();
    }

    std::atomic<bool> nonReaderStuck{false};
    std::atomic<int64_t> nonReaderEndedAt{0};

private:
    uint16_t port_;
    FireTally* tally_;
    std::vector<std::thread> threads_;
};

Bytes HalfHeader()
{
    return Bytes{0x00, 0x07, 0x00};
}

Bytes AnnouncesMoreThanSent()
{
    Bytes adu = MakeAdu(9, 1, ReadRegistersPdu(kReadAddress, kReadCount));
    adu[5] = 100;   // announces 100 bytes after the length field, sends 6
    return adu;
}

// A fresh start must answer at once.
bool ProbeAnswers(uint16_t port)
{
    ModbusConnection connection;
    if (!connection.Connect(port)) {
        Fail("no connection after a start");
        return false;
    }
    Bytes request = MakeAdu(77, 1, ReadRegistersPdu(kReadAddress, kReadCount));
    Bytes response;
    IoResult result = connection.Transact(request, &response);
    if (result != IoResult::kOk || response != ZeroReadResponse(request)) {
        Fail("the probe after a start got %s %s", IoResultText(result), Hex(response).c_str());
        return false;
    }
    return true;
}

// The lines of one run, from its start line to its stop line, in order and complete.
void CheckRunLog(const std::vector<std::string>& lines, size_t from, int cycle)
{
    std::vector<std::string> run(lines.begin() + static_cast<long>(from), lines.end());
    if (run.empty()) {
        Fail("cycle %d logged nothing", cycle);
        return;
    }
    STRESS_CHECK(run.front().rfind("Modbus Server started on ", 0) == 0, "cycle %d: first line is \"%s\"", cycle,
                 run.front().c_str());
    STRESS_CHECK(run.back() == "Modbus Server stopped", "cycle %d: last line is \"%s\"", cycle, run.back().c_str());
    long starts = std::count_if(run.begin(), run.end(),
                                [](const std::string& line) { return line.rfind("Modbus Server started", 0) == 0; });
    long stops = std::count(run.begin(), run.end(), std::string("Modbus Server stopped"));
    STRESS_CHECK(starts == 1 && stops == 1, "cycle %d: %ld start and %ld stop lines", cycle, starts, stops);
    ConnectionLedger ledger = ReadLedger(run);
    STRESS_CHECK(ledger.accepted == ledger.closed, "cycle %d: %d connections accepted, %d closed", cycle,
                 ledger.accepted, ledger.closed);
    for (const auto& [socket, count] : ledger.acceptedPerSocket) {
        STRESS_CHECK(ledger.closedPerSocket[socket] == count, "cycle %d: socket %d accepted %d times, closed %d",
                     cycle, socket, count, ledger.closedPerSocket[socket]);
    }
    STRESS_CHECK(ledger.otherErrors == 0, "cycle %d: an unexpected error line", cycle);
}

// Starts the clients of one cycle and waits until they are in place. The silent ones come first,
// so that they are the idlest when the connector's arrivals evict: the client that does not read
// must still be blocking a send when the stop comes.
void OpenFire(Fire* fire, const LogBook& log, size_t from, bool withNonReader, std::atomic<bool>* over,
              FireTally* tally)
{
    auto acceptedAtLeast = [&](int count) {
        return log.WaitUntil([&](const std::vector<std::string>& lines) { return ReadLedger(lines, from).accepted >= count; },
                             5000);
    };
    // The probe of this run must be gone, or a fifth connection would evict one of these.
    log.WaitUntil([&](const std::vector<std::string>& lines) {
        ConnectionLedger ledger = ReadLedger(lines, from);
        return ledger.accepted == ledger.closed;
    }, 5000);
    int accepted = ReadLedger(log.Lines(), from).accepted;
    fire->Staller(HalfHeader());
    fire->Staller(AnnouncesMoreThanSent());
    if (!withNonReader) {
        fire->Staller(Bytes{});   // idle: connected, silent
    }
    acceptedAtLeast(accepted + (withNonReader ? 2 : 3));
    long before = tally->pipelinedAnswers.load();
    fire->Pipeliner();
    if (withNonReader) {
        fire->NonReader();
    }
    int64_t deadline = NowMilliseconds() + 35000;
    while (NowMilliseconds() < deadline &&
           ((withNonReader && !fire->nonReaderStuck) || tally->pipelinedAnswers.load() < before + 200)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    fire->Connector(over);   // keeps connecting through the stop
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// StopServer right after StartServer, before the listener has even logged its start: the stop
// must not be lost, must not look like a failure, and the next start must work.
int InstantStartStop(InProcessServer* server, int cycles)
{
    int done = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        size_t from = server->log.Size();
        StartServer();
        StopServer();
        int64_t deadline = NowMilliseconds() + kStopBoundMs;
        while (IsServerRunning() && NowMilliseconds() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (IsServerRunning()) {
            Fail("instant cycle %d: a stop right after the start did not complete", cycle);
            return done;
        }
        std::vector<std::string> lines = server->log.Lines();
        std::vector<std::string> run(lines.begin() + static_cast<long>(from), lines.end());
        long errors = std::count_if(run.begin(), run.end(),
                                    [](const std::string& line) { return line.rfind("ERROR", 0) == 0; });
        STRESS_CHECK(errors == 0, "instant cycle %d: \"%s\"", cycle, run.empty() ? "" : run.back().c_str());
        STRESS_CHECK(run.size() == 3 && run.front().rfind("Modbus Server started on ", 0) == 0 &&
                         run[1].rfind("Listening on 127.0.0.1:", 0) == 0 && run.back() == "Modbus Server stopped",
                     "instant cycle %d logged %zu lines, the last \"%s\"", cycle, run.size(),
                     run.empty() ? "" : run.back().c_str());
        ++done;
    }
    size_t from = server->log.Size();
    if (!server->Start() || !ProbeAnswers(server->Port()) || server->Stop(kStopBoundMs) < 0) {
        Fail("no working start after the instant cycles");
    }
    CheckRunLog(server->log.Lines(), from, -1);
    return done;
}

// The stop comes while the listener itself is held up: all four slots busy, the idlest one a client
// whose send is blocked, and a fifth connection waiting for that eviction. The listener sees the
// stop only after the eviction is done; the stop must still be in order, within the bound, and
// must not be taken for a failure of accept.
long StopDuringEviction(InProcessServer* server, bool* listenerWaited)
{
    *listenerWaited = false;
    size_t from = server->log.Size();
    if (!server->Start()) {
        Fail("no start for the stop during an eviction");
        return -1;
    }
    ModbusConnection blocked;
    bool stuck = blocked.Connect(server->Port(), 3000, 4096) &&
                 blocked.FloodUntilServerBlocks(MakeAdu(1, 1, ReadRegistersPdu(kReadAddress, 125)), 1500, 30000);
    STRESS_CHECK(stuck, "the client that never reads did not get the server's send blocked");
    // Three idle clients bound after the blocked one's last answer: it is the idlest.
    std::vector<ModbusConnection> idle(3);
    for (ModbusConnection& client : idle) {
        client.Connect(server->Port());
    }
    server->log.WaitUntil(
        [from](const std::vector<std::string>& lines) { return ReadLedger(lines, from).accepted >= 4; }, 5000);
    ModbusConnection fifth;
    fifth.Connect(server->Port());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));   // the listener is now waiting
    long stopMs = server->Stop(kStopBoundMs + 4000);
    STRESS_CHECK(stopMs >= 0 && stopMs <= kStopBoundMs, "the stop during an eviction took %ld ms", stopMs);
    CheckRunLog(server->log.Lines(), from, -2);
    std::vector<std::string> lines = server->log.Lines();
    ConnectionLedger ledger = ReadLedger(lines, from);
    // When the server was slower than the client thought, its send was not blocked yet and the
    // eviction was quick: the stop then did not meet a waiting listener, which the figure says.
    STRESS_CHECK(ledger.sendErrors <= 1, "%d send failures logged for the one blocked client", ledger.sendErrors);
    *listenerWaited = ledger.sendErrors == 1;
    return stopMs;
}

int RunInProcess()
{
    const char* scenario = "stop_under_fire_in_process";
    int cycles = Scaled(16, 3);
    InProcessServer server;
    server.Init();
    // This process's own descriptors and threads before the first start: every run must give back
    // its listening socket, its connections and its threads. One thread started and joined first,
    // since ThreadSanitizer starts a helper thread of its own along with a program's first thread.
    std::thread([] {}).join();
    int baseDescriptors = CountDirectoryEntries("/proc/self/fd");
    int baseThreads = CountDirectoryEntries("/proc/self/task");
    FireTally tally;
    long longestStop = 0;
    long nonReaderStops = 0;
    int completed = 0;
    size_t end = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        STRESS_CHECK(server.log.Size() == end, "cycle %d: %zu lines logged while the server was stopped", cycle,
                     server.log.Size() - end);
        size_t from = server.log.Size();
        if (!server.Start()) {
            Fail("cycle %d: the start after a stop failed", cycle);
            break;
        }
        StartServer();   // a second start while running does nothing
        if (!ProbeAnswers(server.Port())) {
            break;
        }
        bool withNonReader = cycle % 8 == 1;
        std::atomic<bool> over{false};
        {
            Fire fire(server.Port(), &tally);
            OpenFire(&fire, server.log, from, withNonReader, &over, &tally);
            int64_t stopStart = NowMilliseconds();
            // Every other cycle a second thread asks for the same stop at the same moment: the
            // listening socket must still be closed once, and the run end once.
            std::thread racer;
            if (cycle % 2 == 1) {
                racer = std::thread([] { StopServer(); });
            }
            long stopMs = server.Stop(kStopBoundMs + 4000);
            if (racer.joinable()) {
                racer.join();
            }
            StopServer();   // a stop while stopped does nothing
            over = true;
            if (stopMs < 0) {
                Fail("cycle %d: the stop did not complete within %d ms", cycle, kStopBoundMs + 4000);
                return FinishScenario(scenario, "a stop hung");   // the server is unusable from here
            }
            STRESS_CHECK(stopMs <= kStopBoundMs, "cycle %d: the stop took %ld ms", cycle, stopMs);
            longestStop = std::max(longestStop, stopMs);
            fire.Join();
            // The client that does not read was still connected, its send blocked, when the stop began.
            nonReaderStops += withNonReader && fire.nonReaderEndedAt >= stopStart ? 1 : 0;
            end = server.log.Size();
            CheckRunLog(server.log.Lines(), from, cycle);
        }
        end = server.log.Size();   // the clients ending after the stop log nothing
        ++completed;
    }
    int instantCycles = InstantStartStop(&server, Scaled(40, 8));
    bool listenerWaited = false;
    long evictionStop = StopDuringEviction(&server, &listenerWaited);
    int descriptors = -1;
    int threads = -1;
    for (int64_t deadline = NowMilliseconds() + 5000; NowMilliseconds() < deadline;) {
        descriptors = CountDirectoryEntries("/proc/self/fd");
        threads = CountDirectoryEntries("/proc/self/task");
        if (descriptors == baseDescriptors && threads == baseThreads) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    STRESS_CHECK(descriptors == baseDescriptors, "%d descriptors open after the cycles, %d before", descriptors,
                 baseDescriptors);
    STRESS_CHECK(threads == baseThreads, "%d threads after the cycles, %d before", threads, baseThreads);
    server.Destroy();
    char figure[512];
    std::snprintf(figure, sizeof figure,
                  "%d of %d start/stop cycles through the library (%ld of them while a send to a client not reading was blocked), %ld clients, "
                  "%ld pipelined and %ld connect-per-request answers, wrong answers %ld, longest stop %ld ms "
                  "(bound %d ms)",
                  completed, cycles, nonReaderStops, tally.clientsStarted.load(), tally.pipelinedAnswers.load(),
                  tally.connectorRequests.load(), tally.wrongAnswers.load(), longestStop, kStopBoundMs);
    STRESS_CHECK(tally.wrongAnswers == 0, "%ld wrong answers", tally.wrongAnswers.load());
    STRESS_CHECK(completed == cycles, "only %d of %d cycles completed", completed, cycles);
    STRESS_CHECK(nonReaderStops >= 1, "no stop met a send blocked by a client that does not read");
    return FinishScenario(scenario, figure + std::string("; ") + std::to_string(instantCycles) +
                                        " stops right after the start, each one stopped in order, the next start "
                                        "worked; a stop while the listener " +
                                        (listenerWaited ? "waited" : "(this time not) waited") +
                                        " on an eviction took " + std::to_string(evictionStop) +
                                        " ms; leaked descriptors " + std::to_string(descriptors - baseDescriptors) +
                                        ", leaked threads " + std::to_string(threads - baseThreads));
}

int RunWithSigterm(const std::string& cli)
{
    const char* scenario = "stop_under_fire_sigterm";
    int cycles = Scaled(10, 3);
    FireTally tally;
    long longestStop = 0;
    long nonReaderStops = 0;
    int completed = 0;
    uint16_t port = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        ServerProcess server;
        if (cycle == 0) {
            if (!StartCliServer(&server, cli, &port)) {
                break;
            }
        } else {
            // The same port every time: a restart must bind while the last run's connections linger.
            server.Spawn(cli, {"--bind", "127.0.0.1", "--port", std::to_string(port)});
            long line = server.log.WaitForLine("Modbus Server started on ", 0, 10000);
            if (line < 0) {
                Fail("cycle %d: no start on port %u after a stop", cycle, port);
                for (const std::string& text : server.log.Lines()) {
                    std::fprintf(stderr, "  log: %s\n", text.c_str());
                }
                break;
            }
        }
        if (!ProbeAnswers(port)) {
            break;
        }
        bool withNonReader = cycle % 8 == 1;
        std::atomic<bool> over{false};
        {
            Fire fire(port, &tally);
            OpenFire(&fire, server.log, 0, withNonReader, &over, &tally);
            int64_t stopStart = NowMilliseconds();
            // SIGINT (Ctrl+C) every third cycle, SIGTERM otherwise: both stop in order.
            long stopMs = StopCliServer(&server, kStopBoundMs + 4000, cycle % 3 == 2 ? SIGINT : SIGTERM);
            over = true;
            if (stopMs < 0) {
                break;
            }
            STRESS_CHECK(stopMs <= kStopBoundMs, "cycle %d: the stop took %ld ms", cycle, stopMs);
            longestStop = std::max(longestStop, stopMs);
            fire.Join();
            // The client that does not read was still connected, its send blocked, when the stop began.
            nonReaderStops += withNonReader && fire.nonReaderEndedAt >= stopStart ? 1 : 0;
            CheckRunLog(server.log.Lines(), 0, cycle);
        }
        ++completed;
    }
    char figure[512];
    std::snprintf(figure, sizeof figure,
                  "%d of %d SIGTERM/SIGINT cycles of parvane-cli on one port (%ld of them while a send to a client not reading was blocked), %ld clients, "
                  "%ld pipelined and %ld connect-per-request answers, wrong answers %ld, longest stop %ld ms "
                  "(bound %d ms), every exit status 0",
                  completed, cycles, nonReaderStops, tally.clientsStarted.load(), tally.pipelinedAnswers.load(),
                  tally.connectorRequests.load(), tally.wrongAnswers.load(), longestStop, kStopBoundMs);
    STRESS_CHECK(tally.wrongAnswers == 0, "%ld wrong answers", tally.wrongAnswers.load());
    STRESS_CHECK(completed == cycles, "only %d of %d cycles completed", completed, cycles);
    STRESS_CHECK(nonReaderStops >= 1, "no stop met a send blocked by a client that does not read");
    return FinishScenario(scenario, figure);
}

}  // namespace

int main(int argc, char** argv)
{
    if (HasArg(argc, argv, "--in-process")) {
        return RunInProcess();
    }
    std::string cli = CliPathFromArgs(argc, argv);
    if (cli.empty()) {
        std::fprintf(stderr, "usage: %s --cli PATH | --in-process\n", argv[0]);
        return 2;
    }
    return RunWithSigterm(cli);
}
