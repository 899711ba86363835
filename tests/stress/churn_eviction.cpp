// Churn and eviction: thousands of connect/request/close cycles, and bursts of five to eight
// clients so that eviction runs again and again, while one steady client keeps working.
//
// Within a burst the clients arrive kPaceMs apart and each asks once, then stays idle. With the
// steady client in one slot, each arrival after the third must evict the burst client that has
// been idle longest, the oldest one, and never the steady client, whose last answer is at most a
// round trip old. The steady client can only be rightly evicted if it stalled for longer than the
// youngest burst client had been idle (at least kPaceMs): an eviction after a shorter stall is a
// fault. Every accepted connection must log exactly one "Socket %d closed", and the server's open
// descriptors and threads must come back to their count before the first client.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modbus_client.h"
#include "stress_harness.h"

namespace {

constexpr int kPaceMs = 25;
constexpr uint16_t kQuietZone = 30000;   // never written: reads answer zeros

Bytes ZeroRead(uint16_t id, uint16_t count)
{
    return MakeAdu(id, 1, ReadRegistersPdu(kQuietZone, count));
}

int64_t NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class SteadyClient {
public:
    explicit SteadyClient(uint16_t port) : port_(port) {}

    void Run()
    {
        ModbusConnection connection;
        connection.Connect(port_);
        ++connections;
        int64_t lastAnswer = NowMicroseconds();
        for (uint16_t id = 0; !over; ++id) {
            Bytes request = ZeroRead(id, 8);
            Bytes response;
            IoResult result = connection.Transact(request, &response, 5000);
            if (result == IoResult::kOk) {
                if (response != RegistersResponse(request, std::vector<uint16_t>(8, 0))) {
                    ++wrong;
                    Fail("steady client: answer %s", Hex(response).c_str());
                }
                ++answered;
                lastAnswer = NowMicroseconds();
                continue;
            }
            // Evicted (or worse): how long had it been idle, from its own side?
            int64_t stalledUs = NowMicroseconds() - lastAnswer;
            ++evictions;
            if (shortestStallUs < 0 || stalledUs < shortestStallUs) {
                shortestStallUs = stalledUs;
            }
            if (inBurst && stalledUs < kPaceMs * 1000 / 2) {
                ++wrongfulEvictions;
                Fail("the steady client was evicted %.1f ms after its last answer, while burst clients had been "
                     "idle at least %d ms (%s)",
                     stalledUs / 1000.0, kPaceMs, IoResultText(result));
            } else {
                std::fprintf(stderr, "note: the steady client was evicted after a stall of %.1f ms (%s)\n",
                             stalledUs / 1000.0, inBurst ? "burst" : "between bursts");
            }
            if (!connection.Connect(port_)) {
                Fail("the steady client could not reconnect");
                return;
            }
            ++connections;
            lastAnswer = NowMicroseconds();
        }
    }

    std::atomic<bool> over{false};
    std::atomic<bool> inBurst{false};
    std::atomic<long> answered{0};
    std::atomic<long> wrong{0};
    std::atomic<long> evictions{0};
    std::atomic<long> wrongfulEvictions{0};
    std::atomic<long> connections{0};
    std::atomic<int64_t> shortestStallUs{-1};   // before any of its evictions

private:
    uint16_t port_;
};

struct ChurnTally {
    long cycles = 0;
    long cyclesEvicted = 0;   // a churn client that was itself evicted before its answer
    long burstClients = 0;
    long burstEvictions = 0;
    long wrongVictims = 0;
    std::vector<uint16_t> victimPorts;   // burst clients that were evicted
};

// One connect / request / close.
void OneCycle(uint16_t port, uint16_t id, ChurnTally* tally)
{
    ModbusConnection connection;
    if (!connection.Connect(port)) {
        Fail("churn connect failed");
        return;
    }
    Bytes request = ZeroRead(id, 1 + id % 125);
    Bytes response;
    IoResult result = connection.Transact(request, &response, 5000);
    ++tally->cycles;
    if (result == IoResult::kClosed) {
        ++tally->cyclesEvicted;
        return;
    }
    STRESS_CHECK(result == IoResult::kOk && response == RegistersResponse(request, std::vector<uint16_t>(1 + id % 125, 0)),
                 "churn cycle: %s %s", IoResultText(result), Hex(response).c_str());
}

// Waits until only `open` connections are left open in the server's view.
bool WaitOpenConnections(const LogBook& log, int open, int timeoutMs)
{
    return log.WaitUntil(
        [open](const std::vector<std::string>& lines) {
            ConnectionLedger ledger = ReadLedger(lines);
            return ledger.accepted - ledger.closed == open;
        },
        timeoutMs);
}

// steadyEvictions: when the steady client itself was (rightly) evicted during the burst, the
// victims shift by one and are not checked.
void Burst(uint16_t port, int size, std::mt19937& random, ChurnTally* tally, const std::atomic<long>& steadyEvictions)
{
    long steadyBefore = steadyEvictions.load();
    std::vector<ModbusConnection> clients(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPaceMs));
        }
        if (!clients[static_cast<size_t>(i)].Connect(port)) {
            Fail("burst connect failed");
            return;
        }
        uint16_t id = static_cast<uint16_t>(random());
        Bytes request = ZeroRead(id, 2);
        Bytes response;
        IoResult result = clients[static_cast<size_t>(i)].Transact(request, &response, 5000);
        STRESS_CHECK(result == IoResult::kOk && response == RegistersResponse(request, {0, 0}),
                     "burst client %d of %d: %s %s", i, size, IoResultText(result), Hex(response).c_str());
        ++tally->burstClients;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPaceMs));
    // The first size - 3 arrived earliest and were idle longest: exactly they are gone.
    for (int i = 0; i < size; ++i) {
        bool evicted = clients[static_cast<size_t>(i)].WaitClosedByPeer(i < size - 3 ? 2000 : 0) == IoResult::kOk;
        bool shouldBe = i < size - 3;
        tally->burstEvictions += evicted ? 1 : 0;
        if (evicted) {
            tally->victimPorts.push_back(clients[static_cast<size_t>(i)].LocalPort());
        }
        if (evicted != shouldBe && steadyEvictions.load() == steadyBefore) {
            ++tally->wrongVictims;
            Fail("burst of %d: client %d %s", size, i, evicted ? "was evicted though younger ones were idler"
                                                                : "was not evicted though it was the idlest");
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const char* scenario = "churn_eviction";
    std::string cli = CliPathFromArgs(argc, argv);
    if (cli.empty()) {
        std::fprintf(stderr, "usage: %s --cli PATH\n", argv[0]);
        return 2;
    }
    ServerProcess server;
    uint16_t port = 0;
    if (!StartCliServer(&server, cli, &port)) {
        return FinishScenario(scenario, "server did not start");
    }
    // The listener is waiting in accept and nothing else runs: the resting count.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int baseDescriptors = server.OpenDescriptors();
    int baseThreads = server.Threads();

    int bursts = Scaled(30, 3);
    int cyclesPerPhase = Scaled(5000, 150) / bursts;
    std::mt19937 random(42);
    ChurnTally tally;
    SteadyClient steady(port);
    int64_t start = NowMilliseconds();
    std::thread steadyThread([&] { steady.Run(); });
    for (int burst = 0; burst < bursts && FailureCount() < 20; ++burst) {
        for (int i = 0; i < cyclesPerPhase; ++i) {
            OneCycle(port, static_cast<uint16_t>(i), &tally);
        }
        // Only the steady client may be left before a burst, or the victims are not the ones
        // this scenario expects.
        STRESS_CHECK(WaitOpenConnections(server.log, 1, 5000), "churn connections still open after 5 s");
        steady.inBurst = true;
        Burst(port, 5 + static_cast<int>(random() % 4), random, &tally, steady.evictions);
        steady.inBurst = false;
    }
    steady.over = true;
    steadyThread.join();
    int64_t elapsed = NowMilliseconds() - start;

    bool settled = WaitOpenConnections(server.log, 0, 5000);
    ConnectionLedger ledger = ReadLedger(server.log.Lines());
    STRESS_CHECK(settled, "%d connections accepted but %d closed", ledger.accepted, ledger.closed);
    for (const auto& [socket, count] : ledger.acceptedPerSocket) {
        STRESS_CHECK(ledger.closedPerSocket[socket] == count, "socket %d accepted %d times but closed %d times", socket,
                     count, ledger.closedPerSocket[socket]);
    }
    long clientSeenEvictions = tally.burstEvictions + tally.cyclesEvicted + steady.evictions;
    // Every eviction a client saw was logged as a close with no line of its own. The server may
    // log a few more: when it lags behind the cycles, a connection whose client has already left
    // can be the idlest and be kicked before its end of stream is read.
    STRESS_CHECK(ledger.SilentCloses() >= clientSeenEvictions &&
                     ledger.SilentCloses() <= clientSeenEvictions + tally.cycles - tally.cyclesEvicted,
                 "the server closed %d connections without a line of their own, the clients saw %ld evictions",
                 ledger.SilentCloses(), clientSeenEvictions);
    // A kicked connection logs only its close: no disconnect, no violation.
    for (uint16_t port : tally.victimPorts) {
        auto ending = ledger.endingByPort.find(port);
        STRESS_CHECK(ending == ledger.endingByPort.end() || ledger.acceptedPorts[port] > 1,
                     "the evicted connection from port %u logged \"%s\"", port,
                     ending == ledger.endingByPort.end() ? "" : ending->second.c_str());
    }
    STRESS_CHECK(ledger.otherErrors + ledger.sendErrors + ledger.receiveErrors == 0, "error lines in the log");
    STRESS_CHECK(steady.wrong == 0, "%ld wrong answers to the steady client", steady.wrong.load());

    // Detached client threads end just after their last line; give them a moment, bounded.
    int descriptors = -1;
    int threads = -1;
    for (int64_t deadline = NowMilliseconds() + 5000; NowMilliseconds() < deadline;) {
        descriptors = server.OpenDescriptors();
        threads = server.Threads();
        if (descriptors == baseDescriptors && threads == baseThreads) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    STRESS_CHECK(descriptors == baseDescriptors, "open descriptors %d, %d before the first client", descriptors,
                 baseDescriptors);
    STRESS_CHECK(threads == baseThreads, "threads %d, %d before the first client", threads, baseThreads);
    long stopMs = StopCliServer(&server);

    char stallText[64] = "";
    if (steady.evictions > 0) {
        std::snprintf(stallText, sizeof stallText, ", each after a stall of at least %.1f ms",
                      static_cast<double>(steady.shortestStallUs.load()) / 1000.0);
    }
    char figure[1024];
    std::snprintf(figure, sizeof figure,
                  "%ld connect/request/close cycles and %d bursts (%ld clients) in %.1f s; %d connections accepted, "
                  "%d closed; evictions %d logged, %ld seen by clients (burst victims %ld, all the idlest: %s); "
                  "steady client %ld answers, evicted %ld times%s (wrongly %ld); leaked descriptors %d, leaked "
                  "threads %d (rest %d/%d); stop %ld ms",
                  tally.cycles, bursts, tally.burstClients, elapsed / 1000.0, ledger.accepted, ledger.closed,
                  ledger.SilentCloses(), clientSeenEvictions, tally.burstEvictions,
                  tally.wrongVictims == 0 ? "yes" : "NO", steady.answered.load(), steady.evictions.load(),
                  stallText, steady.wrongfulEvictions.load(), descriptors - baseDescriptors, threads - baseThreads,
                  baseDescriptors, baseThreads, stopMs);
    return FinishScenario(scenario, figure);
}
