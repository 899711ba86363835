// Hostile input: connections that send random bytes, valid headers with random PDUs, headers that
// announce more than they send and then stall, half headers, requests one byte per second, and
// clients that never read, all beside a well-behaved client that keeps checking its answers.
// Each bad connection must end only itself, with the line its bytes call for (the client works
// out that line by framing its own bytes); the well-behaved client is never disturbed; the server
// never crashes.
//
// At most four connections are ever open, so that eviction never enters the picture: every
// connection opens through a gate that waits for a free slot as the log shows it.
//
// --cli PATH runs against parvane-cli; --in-process against the server in this process.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "in_process_server.h"
#include "modbus_client.h"
#include "stress_harness.h"

namespace {

constexpr uint16_t kSteadyZone = 100;     // the well-behaved client's registers, 100 to 199
constexpr uint16_t kQuietZone = 30000;    // never written: reads answer zeros
constexpr uint16_t kHostileWrites = 0x8000;   // every hostile write lands at or above this address
constexpr int kSlowByteIntervalMs = 1000;

// kNeverReads stays last: it is not drawn at random (each one holds a slot for the send bound).
enum Kind { kRandomBytes, kRandomPdus, kStallAfterHeader, kHalfHeader, kBadProtocol, kBadLength, kResetMidRequest,
            kNeverReads, kKindCount };
const char* const kKindNames[kKindCount] = {"random bytes", "valid headers with random PDUs",
                                            "announce more then stall", "half header", "bad protocol id",
                                            "bad length", "reset mid-request", "never reads"};

bool Implemented(uint8_t code)
{
    return code == 1 || code == 2 || code == 3 || code == 4 || code == 5 || code == 6 || code == 8 || code == 15 ||
           code == 16 || code == 22 || code == 23 || code == 43;
}

// What the server must do with a stream of bytes: how many whole requests it answers, and the
// line that ends the connection once the bytes (then the client's end of stream) are read.
struct FramingOutcome {
    int answered = 0;
    std::string ending;   // "protocol", "length" or "disconnected"
};

FramingOutcome FrameLikeTheServer(const Bytes& bytes)
{
    FramingOutcome outcome;
    size_t at = 0;
    for (;;) {
        if (bytes.size() - at < 7) {
            outcome.ending = "disconnected";
            return outcome;
        }
        if (bytes[at + 2] != 0 || bytes[at + 3] != 0) {
            outcome.ending = "protocol";
            return outcome;
        }
        size_t length = static_cast<size_t>((bytes[at + 4] << 8) | bytes[at + 5]);
        if (length < 2 || length > 254) {
            outcome.ending = "length";
            return outcome;
        }
        if (bytes.size() - at < 6 + length) {
            outcome.ending = "disconnected";
            return outcome;
        }
        ++outcome.answered;
        at += 6 + length;
    }
}

// The shape every answer to `request` must have, whatever the random PDU asked.
bool AnswerFits(const Bytes& request, const Bytes& response)
{
    if (response.size() < 9 || !std::equal(request.begin(), request.begin() + 4, response.begin()) ||
        response[6] != request[6] || ((response[4] << 8) | response[5]) != static_cast<int>(response.size() - 6)) {
        return false;
    }
    uint8_t code = request[7];
    if (response[7] == (code | 0x80)) {
        return response.size() == 9 && response[8] >= 1 && response[8] <= 3 && (Implemented(code) || response[8] == 1);
    }
    if (response[7] != code || !Implemented(code)) {
        return false;
    }
    uint16_t quantity = static_cast<uint16_t>((request[10] << 8) | request[11]);
    switch (code) {
    case 1:
    case 2:
        return response[8] == (quantity + 7) / 8 && response.size() == 9u + response[8];
    case 8:
        return response == request;   // Return Query Data echoes the whole request
    case 43:
        // Read Device Identification: the MEI type and read code echoed, then the objects.
        return response.size() >= 14 && response[8] == 0x0E && response[9] == request[9];
    case 3:
    case 4:
    case 23:
        return response[8] == quantity * 2 && response.size() == 9u + response[8];
    case 22:
        return response == EchoResponse(request);
    default:
        return response == EchoResponse(request);
    }
}

class HostileRun {
public:
    HostileRun(const LogBook* log, uint16_t port) : log_(log), port_(port) {}

    // Opens a connection only while a slot is free (as the log shows it), and returns once the
    // server has accepted it, so that at most four connections are ever open.
    bool OpenThroughGate(ModbusConnection* connection, int receiveBuffer = 0)
    {
        std::lock_guard<std::mutex> hold(gate_);
        bool free = log_->WaitUntil(
            [](const std::vector<std::string>& lines) {
                ConnectionLedger ledger = ReadLedger(lines);
                return ledger.accepted - ledger.closed <= 3;
            },
            15000);
        if (!free) {
            Fail("no slot came free within 15 s");
            return false;
        }
        size_t from = log_->Size();
        if (!connection->Connect(port_, 3000, receiveBuffer)) {
            Fail("connect failed");
            return false;
        }
        std::string accepted = "Connection accepted on socket ";
        std::string peer = " from 127.0.0.1:" + std::to_string(connection->LocalPort());
        bool seen = log_->WaitUntil(
            [&](const std::vector<std::string>& lines) {
                for (size_t i = from; i < lines.size(); ++i) {
                    if (lines[i].rfind(accepted, 0) == 0 && lines[i].size() >= peer.size() &&
                        lines[i].compare(lines[i].size() - peer.size(), peer.size(), peer) == 0) {
                        return true;
                    }
                }
                return false;
            },
            5000);
        STRESS_CHECK(seen, "the server did not accept port %u within 5 s", connection->LocalPort());
        return seen;
    }

    // Checks its own registers with writes and read-backs until told to stop.
    void WellBehaved()
    {
        ModbusConnection connection;
        if (!OpenThroughGate(&connection)) {
            return;
        }
        std::mt19937 random(7);
        std::vector<uint16_t> model(100, 0);
        for (uint16_t id = 0; !over_; id = static_cast<uint16_t>(id + 3)) {
            int count = 1 + static_cast<int>(random() % 100);
            int start = static_cast<int>(random() % static_cast<unsigned>(100 - count + 1));
            std::vector<uint16_t> values(static_cast<size_t>(count));
            for (uint16_t& value : values) {
                value = static_cast<uint16_t>(random());
            }
            Bytes write = MakeAdu(id, 1, WriteRegistersPdu(static_cast<uint16_t>(kSteadyZone + start), values));
            std::copy(values.begin(), values.end(), model.begin() + start);
            uint16_t andMask = static_cast<uint16_t>(random());
            uint16_t orMask = static_cast<uint16_t>(random());
            int maskAt = static_cast<int>(random() % 100);
            Bytes mask = MakeAdu(static_cast<uint16_t>(id + 1), 1,
                                 MaskWritePdu(static_cast<uint16_t>(kSteadyZone + maskAt), andMask, orMask));
            model[static_cast<size_t>(maskAt)] = MaskedValue(model[static_cast<size_t>(maskAt)], andMask, orMask);
            Bytes read = MakeAdu(static_cast<uint16_t>(id + 2), 1, ReadRegistersPdu(kSteadyZone, 100));
            for (const auto& [request, expected] : {std::pair{write, EchoResponse(write)},
                                                    std::pair{mask, EchoResponse(mask)},
                                                    std::pair{read, RegistersResponse(read, model)}}) {
                Bytes response;
                IoResult result = connection.Transact(request, &response);
                if (result != IoResult::kOk) {
                    Fail("the well-behaved client's request failed: %s", IoResultText(result));
                    return;
                }
                if (response != expected) {
                    ++wellBehavedWrong_;
                    Fail("the well-behaved client got %s for %s", Hex(response).c_str(), Hex(request).c_str());
                } else {
                    ++wellBehavedRight_;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // A correct request, one byte per second; answered once, when its last byte is in.
    void OneBytePerSecond()
    {
        ModbusConnection connection;
        if (!OpenThroughGate(&connection)) {
            return;
        }
        Bytes request = MakeAdu(0x5107, 9, ReadRegistersPdu(kQuietZone, 4));
        for (size_t i = 0; i < request.size(); ++i) {
            if (i > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(kSlowByteIntervalMs));
            }
            uint8_t early = 0;
            STRESS_CHECK(connection.ReceiveExact(&early, 1, 0) == IoResult::kTimeout,
                         "the slow client got an answer (or lost its connection) after %zu of %zu bytes", i,
                         request.size());
            if (connection.SendAll(&request[i], 1, 3000) != IoResult::kOk) {
                Fail("the slow client could not send byte %zu", i);
                return;
            }
        }
        Bytes response;
        IoResult result = connection.ReceiveAdu(&response, 5000);
        slowAnswered_ = result == IoResult::kOk && response == RegistersResponse(request, std::vector<uint16_t>(4, 0));
        STRESS_CHECK(slowAnswered_, "the slow request got %s %s", IoResultText(result), Hex(response).c_str());
    }

    // Bad connections one after another until told to stop (and at least `minimum` of them).
    void Hostile(int worker, int minimum)
    {
        std::mt19937 random(1000u + static_cast<unsigned>(worker));
        for (int done = 0; !over_ || done < minimum; ++done) {
            Kind kind = static_cast<Kind>(random() % (kKindCount - 1));
            // Worker 0 also starves the server's sends now and then; they take the send bound each.
            if (worker == 0 && done % 60 == 5) {
                kind = kNeverReads;
            }
            OneBadConnection(kind, random);
        }
    }

    void Stop() { over_ = true; }

    // Compares each bad connection's ending with the log, once all are closed.
    void CheckEndings(const ConnectionLedger& ledger)
    {
        std::lock_guard<std::mutex> hold(record_);
        for (const Expectation& expected : expected_) {
            // Loopback hands a client port out again as soon as it is free (at once after a reset),
            // also to the well-behaved and slow clients: the log cannot tell such connections apart.
            auto accepted = ledger.acceptedPorts.find(expected.port);
            if (accepted != ledger.acceptedPorts.end() && accepted->second > 1) {
                ++portsReused_;
                continue;
            }
            ++endingsCompared_;
            auto found = ledger.endingByPort.find(expected.port);
            std::string actual = found == ledger.endingByPort.end() ? "(none)" : found->second;
            std::string wanted = expected.ending.empty() ? "(none)" : expected.ending;
            STRESS_CHECK(actual == wanted, "%s: the connection from port %u ended with %s, expected %s",
                         kKindNames[expected.kind], expected.port, actual.c_str(), wanted.c_str());
        }
        STRESS_CHECK(endingsCompared_ > 0, "no connection's ending could be compared with the log");
        STRESS_CHECK(ledger.sendErrors == perKind_[kNeverReads], "%d send() errors logged for %d clients that never read",
                     ledger.sendErrors, perKind_[kNeverReads]);
        STRESS_CHECK(ledger.receiveErrors == perKind_[kResetMidRequest],
                     "%d receive errors logged for %d connections reset mid-request", ledger.receiveErrors,
                     perKind_[kResetMidRequest]);
    }

    std::string KindFigures() const
    {
        std::string text;
        for (int kind = 0; kind < kKindCount; ++kind) {
            text += (kind == 0 ? "" : ", ") + std::string(kKindNames[kind]) + " " + std::to_string(perKind_[kind]);
        }
        return text;
    }

    int BadConnections() const
    {
        int total = 0;
        for (int count : perKind_) {
            total += count;
        }
        return total;
    }

    long wellBehavedRight() const { return wellBehavedRight_; }
    long wellBehavedWrong() const { return wellBehavedWrong_; }
    long hostileAnswers() const { return hostileAnswers_; }
    bool slowAnswered() const { return slowAnswered_; }
    int endingsCompared() const { return endingsCompared_; }
    int portsReused() const { return portsReused_; }

private:
    void Expect(uint16_t port, Kind kind, const std::string& ending)
    {
        std::lock_guard<std::mutex> hold(record_);
        expected_.push_back(Expectation{port, kind, ending});
        ++perKind_[kind];
    }

    // Sends the bytes, reads the answers the framing calls for, and ends as the framing says: the
    // server ends a violation; otherwise the client ends its stream and the server sees that.
    // With endEarly the client ends its stream right after its bytes, before it reads any answer:
    // the server must still answer every whole request before it sees the end.
    void SendFramed(ModbusConnection* connection, Kind kind, const Bytes& bytes, bool endEarly = false)
    {
        FramingOutcome outcome = FrameLikeTheServer(bytes);
        Expect(connection->LocalPort(), kind, outcome.ending);
        connection->SendAll(bytes, 3000);   // a violation may reset the connection before all is sent
        if (endEarly) {
            connection->ShutdownWrite();
        }
        size_t at = 0;
        for (int i = 0; i < outcome.answered; ++i) {
            size_t length = static_cast<size_t>((bytes[at + 4] << 8) | bytes[at + 5]);
            Bytes request(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 6 + length));
            at += 6 + length;
            Bytes response;
            IoResult result = connection->ReceiveAdu(&response, 5000);
            if (result != IoResult::kOk) {
                Fail("%s: answer %d of %d: %s", kKindNames[kind], i + 1, outcome.answered, IoResultText(result));
                return;
            }
            ++hostileAnswers_;
            STRESS_CHECK(AnswerFits(request, response), "%s: request %s answered %s", kKindNames[kind],
                         Hex(request).c_str(), Hex(response).c_str());
        }
        if (outcome.ending == "disconnected") {
            connection->ShutdownWrite();
        }
        STRESS_CHECK(connection->WaitClosedByPeer(5000) == IoResult::kOk, "%s: the server kept the connection open",
                     kKindNames[kind]);
    }

    Bytes RandomPduRequest(std::mt19937& random, uint16_t id)
    {
        static const uint8_t kCodes[] = {1, 2, 3, 4, 5, 6, 8, 15, 16, 22, 23, 43};
        size_t size = 1 + random() % 253;
        Bytes pdu(size);
        for (uint8_t& byte : pdu) {
            byte = static_cast<uint8_t>(random());
        }
        pdu[0] = random() % 2 == 0 ? kCodes[random() % sizeof kCodes] : static_cast<uint8_t>(random());
        // Writes go to the upper half of the tables only, away from the well-behaved client.
        uint8_t code = pdu[0];
        if ((code == 5 || code == 6 || code == 15 || code == 16 || code == 22) && size >= 2) {
            pdu[1] |= 0x80;
        }
        if (code == 23 && size >= 6) {
            pdu[5] |= 0x80;
        }
        if ((code == 5 || code == 6 || code == 15 || code == 16 || code == 22 || code == 23) && size < 7) {
            pdu.resize(7, 0x80);   // short writes too: the field tests read their bytes all the same
            pdu[1] |= 0x80;
            pdu[5] |= 0x80;
        }
        return MakeAdu(id, static_cast<uint8_t>(random()), pdu);
    }

    void OneBadConnection(Kind kind, std::mt19937& random)
    {
        ModbusConnection connection;
        if (!OpenThroughGate(&connection, kind == kNeverReads ? 4096 : 0)) {
            return;
        }
        switch (kind) {
        case kRandomBytes: {
            Bytes bytes(1 + random() % 300);
            for (uint8_t& byte : bytes) {
                byte = static_cast<uint8_t>(random());
            }
            SendFramed(&connection, kind, bytes);
            break;
        }
        case kRandomPdus: {
            Bytes bytes;
            int requests = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < requests; ++i) {
                Bytes request = RandomPduRequest(random, static_cast<uint16_t>(random()));
                bytes.insert(bytes.end(), request.begin(), request.end());
            }
            SendFramed(&connection, kind, bytes, random() % 2 == 0);
            break;
        }
        case kStallAfterHeader: {
            uint16_t announced = static_cast<uint16_t>(6 + random() % 249);
            Bytes bytes = MakeAdu(1, 1, Bytes(announced - 1u, 0x03));
            bytes.resize(7 + random() % (announced - 1u));
            Expect(connection.LocalPort(), kind, "disconnected");
            connection.SendAll(bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 200));
            uint8_t early = 0;
            STRESS_CHECK(connection.ReceiveExact(&early, 1, 0) == IoResult::kTimeout,
                         "an incomplete request was answered or its connection ended");
            connection.ShutdownWrite();
            STRESS_CHECK(connection.WaitClosedByPeer(5000) == IoResult::kOk, "stalled connection not ended");
            break;
        }
        case kHalfHeader: {
            Bytes bytes = MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 1));
            bytes.resize(1 + random() % 6);
            Expect(connection.LocalPort(), kind, "disconnected");
            connection.SendAll(bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 100));
            connection.ShutdownWrite();
            STRESS_CHECK(connection.WaitClosedByPeer(5000) == IoResult::kOk, "half-header connection not ended");
            break;
        }
        case kBadProtocol: {
            Bytes bytes = MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 1));
            uint16_t protocol = static_cast<uint16_t>(1 + random() % 65535);
            bytes[2] = static_cast<uint8_t>(protocol >> 8);
            bytes[3] = static_cast<uint8_t>(protocol & 0xFF);
            if (random() % 2 == 0) {
                bytes[4] = 0xFF;   // both wrong: the protocol identifier is tested first
            }
            SendFramed(&connection, kind, bytes);
            break;
        }
        case kBadLength: {
            static const uint16_t kLengths[] = {0, 1, 255, 256, 0x1000, 0xFFFF};
            Bytes bytes = MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 1));
            uint16_t length = kLengths[random() % 6];
            bytes[4] = static_cast<uint8_t>(length >> 8);
            bytes[5] = static_cast<uint8_t>(length & 0xFF);
            SendFramed(&connection, kind, bytes);
            break;
        }
        case kResetMidRequest: {
            // Part of a request, then a reset instead of an orderly end: the receive fails with
            // WSAECONNRESET, a line that names no socket.
            Bytes bytes = MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 1));
            bytes.resize(1 + random() % 11);
            Expect(connection.LocalPort(), kind, "");
            connection.SendAll(bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
            connection.Reset();
            // The gate of the next connection waits for the server's close.
            break;
        }
        case kNeverReads:
        default: {
            // Floods reads of 125 registers and reads nothing back: the server's send fills the
            // pipe and then runs into its time-out. Its line ("send()") names no socket.
            Expect(connection.LocalPort(), kNeverReads, "");
            STRESS_CHECK(connection.FloodUntilServerBlocks(MakeAdu(1, 1, ReadRegistersPdu(kQuietZone, 125)), 1500, 30000),
                         "a client that never reads lost its connection before the server was blocked");
            STRESS_CHECK(connection.PeerHungUp(15000), "a client that never reads was not given up within 15 s");
            break;
        }
        }
    }

    const LogBook* log_;
    uint16_t port_;
    std::mutex gate_;
    std::atomic<bool> over_{false};
    std::mutex record_;
    struct Expectation {
        uint16_t port;
        Kind kind;
        std::string ending;
    };
    std::vector<Expectation> expected_;
    int endingsCompared_ = 0;
    int portsReused_ = 0;
    int perKind_[kKindCount] = {};
    std::atomic<long> wellBehavedRight_{0};
    std::atomic<long> wellBehavedWrong_{0};
    std::atomic<long> hostileAnswers_{0};
    std::atomic<bool> slowAnswered_{false};
};

}  // namespace

int main(int argc, char** argv)
{
    std::string cli = CliPathFromArgs(argc, argv);
    bool inProcess = HasArg(argc, argv, "--in-process");
    if (cli.empty() && !inProcess) {
        std::fprintf(stderr, "usage: %s --cli PATH | --in-process\n", argv[0]);
        return 2;
    }
    const char* scenario = inProcess ? "hostile_input_in_process" : "hostile_input";
    ServerProcess process;
    InProcessServer inside;
    LogBook* log = inProcess ? &inside.log : &process.log;
    uint16_t port = 0;
    if (!StartScenarioServer(inProcess, cli, &process, &inside, &port)) {
        return FinishScenario(scenario, "server did not start");
    }

    HostileRun run(log, port);
    int minimum = Scaled(120, 20);
    int64_t start = NowMilliseconds();
    std::thread wellBehaved([&] { run.WellBehaved(); });
    std::thread slow([&] { run.OneBytePerSecond(); });
    std::thread hostile0([&] { run.Hostile(0, minimum); });
    std::thread hostile1([&] { run.Hostile(1, minimum); });
    slow.join();   // the slow request sets the length of the run
    run.Stop();
    hostile0.join();
    hostile1.join();
    wellBehaved.join();
    int64_t elapsed = NowMilliseconds() - start;

    bool alive = inProcess || process.Running();
    STRESS_CHECK(alive, "the server process is gone");
    // Every connection is closed by now on the client side; the log must catch up.
    bool settled = log->WaitUntil(
        [](const std::vector<std::string>& lines) {
            ConnectionLedger ledger = ReadLedger(lines);
            return ledger.accepted == ledger.closed;
        },
        5000);
    ConnectionLedger ledger = ReadLedger(log->Lines());
    STRESS_CHECK(settled, "%d connections accepted but %d closed", ledger.accepted, ledger.closed);
    run.CheckEndings(ledger);
    STRESS_CHECK(ledger.otherErrors == 0, "unexpected error lines in the log");
    STRESS_CHECK(run.wellBehavedWrong() == 0, "%ld wrong answers to the well-behaved client", run.wellBehavedWrong());
    STRESS_CHECK(run.wellBehavedRight() > 0, "the well-behaved client got no answers");

    long stopMs = 0;
    if (inProcess) {
        stopMs = inside.Stop(10000);
        STRESS_CHECK(stopMs >= 0, "the in-process server did not stop");
        inside.Destroy();
    } else if (alive) {
        stopMs = StopCliServer(&process);
    }

    char figure[1024];
    std::snprintf(figure, sizeof figure,
                  "%d bad connections in %.1f s (%s), %ld of their requests answered in shape, %d endings matched "
                  "with the log (%d not comparable: client port reused); well-behaved requests answered correctly %ld, wrong %ld; one-byte-per-second request "
                  "%s; server %s, stop %ld ms",
                  run.BadConnections(), elapsed / 1000.0, run.KindFigures().c_str(), run.hostileAnswers(),
                  run.endingsCompared(), run.portsReused(),
                  run.wellBehavedRight(), run.wellBehavedWrong(), run.slowAnswered() ? "answered" : "NOT answered",
                  alive ? "alive" : "GONE", stopMs);
    return FinishScenario(scenario, figure);
}
