// Load with checking: four clients at full speed, each writing its own registers and coils with
// known patterns (codes 6, 16, 23, 22, 5, 15) and reading them back (codes 1, 3, 23), every
// response compared byte for byte with what a correct server answers. Each client also reads its
// neighbour's block area, where every 10-register block is only ever written whole, to see
// whether a multi-register write is ever seen half done (torn). At the end every client reads its
// whole area back: nothing written may be lost.
//
// Runs against parvane-cli (--cli PATH) or, for the sanitizer builds, against the server inside
// this process (--in-process).

#include <algorithm>
#include <chrono>
#include <barrier>
#include <memory>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "in_process_server.h"
#include "modbus_client.h"
#include "server/slot_table.h"
#include "stress_harness.h"

namespace {

constexpr int kClients = 4;
constexpr int kBlockSize = 10;
constexpr int kBlocks = 10;
constexpr int kBlockAreaSize = kBlockSize * kBlocks;   // written only in whole blocks (code 16)
constexpr int kFreeAreaSize = 125;                      // any register code, any run
constexpr int kCoilAreaSize = 2000;

// Each client's own addresses; the areas of different clients never overlap.
uint16_t BlockArea(int client) { return static_cast<uint16_t>(2000 + client * 400); }
uint16_t FreeArea(int client) { return static_cast<uint16_t>(BlockArea(client) + 200); }
uint16_t CoilArea(int client) { return static_cast<uint16_t>(20000 + client * 2500); }

struct ClientTally {
    long requests = 0;
    uint32_t accepted = 0;   // answered normally
    uint32_t rejected = 0;   // answered with an exception
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    long wrongAnswers = 0;
    long tornBlocks = 0;
    long exceptionsChecked = 0;
    bool broken = false;   // the connection failed; the rest of the run was skipped
};

class CheckingClient {
public:
    CheckingClient(int index, uint16_t port, std::barrier<>* ready)
        : index_(index), port_(port), ready_(ready), random_(0x5eed0000u + static_cast<unsigned>(index)),
          blocks_(kBlockAreaSize), free_(kFreeAreaSize), coils_(kCoilAreaSize)
    {
    }

    void Run(int requestCount)
    {
        bool connected = connection_.Connect(port_);
        if (!connected) {
            Fail("client %d could not connect", index_);
            tally.broken = true;
        } else {
            Initialise();
        }
        ready_->arrive_and_wait();   // every block area is whole before anyone reads a neighbour's
        for (int i = 0; i < requestCount && !tally.broken; ++i) {
            OneRandomRequest();
        }
        if (!tally.broken) {
            ReadEverythingBack();
        }
    }

    uint16_t LocalPort() const { return connection_.LocalPort(); }

    ClientTally tally;

private:
    uint32_t Random(uint32_t below) { return std::uniform_int_distribution<uint32_t>(0, below - 1)(random_); }
    uint16_t RandomWord() { return static_cast<uint16_t>(Random(65536)); }

    // Sends the request and compares the whole response with `expected`.
    // One transaction, counted the way the server's slot counts it.
    IoResult Transact(const Bytes& request, Bytes* response)
    {
        IoResult result = connection_.Transact(request, response);
        ++tally.requests;
        if (result == IoResult::kOk && response->size() > 7) {
            ((*response)[7] & 0x80) != 0 ? ++tally.rejected : ++tally.accepted;
            tally.bytesSent += request.size();
            tally.bytesReceived += response->size();
        }
        return result;
    }

    bool Send(const Bytes& request, const Bytes& expected)
    {
        Bytes response;
        IoResult result = Transact(request, &response);
        if (result != IoResult::kOk) {
            Fail("client %d: request %s: %s", index_, Hex(request).c_str(), IoResultText(result));
            tally.broken = true;
            return false;
        }
        if (response != expected) {
            ++tally.wrongAnswers;
            Fail("client %d: request %s answered %s, expected %s", index_, Hex(request).c_str(),
                 Hex(response).c_str(), Hex(expected).c_str());
            return false;
        }
        return true;
    }

    Bytes NewAdu(const Bytes& pdu) { return MakeAdu(nextTransaction_++, static_cast<uint8_t>(index_ + 1), pdu); }

    void WriteBlock(int block)
    {
        uint16_t stamp = RandomWord();
        std::vector<uint16_t> values(kBlockSize);
        for (int j = 0; j < kBlockSize; ++j) {
            values[j] = static_cast<uint16_t>(stamp + j);
        }
        Bytes request = NewAdu(WriteRegistersPdu(static_cast<uint16_t>(BlockArea(index_) + block * kBlockSize), values));
        Send(request, EchoResponse(request));
        std::copy(values.begin(), values.end(), blocks_.begin() + block * kBlockSize);
    }

    void WriteFreeRun(int start, std::vector<uint16_t> values)
    {
        Bytes request = NewAdu(WriteRegistersPdu(static_cast<uint16_t>(FreeArea(index_) + start), values));
        Send(request, EchoResponse(request));
        std::copy(values.begin(), values.end(), free_.begin() + start);
    }

    void WriteCoilRun(int start, const std::vector<uint8_t>& values)
    {
        Bytes request = NewAdu(WriteCoilsPdu(static_cast<uint16_t>(CoilArea(index_) + start), values));
        Send(request, EchoResponse(request));
        std::copy(values.begin(), values.end(), coils_.begin() + start);
    }

    std::vector<uint16_t> RandomWords(int count)
    {
        std::vector<uint16_t> values(static_cast<size_t>(count));
        for (uint16_t& value : values) {
            value = RandomWord();
        }
        return values;
    }

    std::vector<uint8_t> RandomCoils(int count)
    {
        std::vector<uint8_t> values(static_cast<size_t>(count));
        for (uint8_t& value : values) {
            value = static_cast<uint8_t>(Random(2));
        }
        return values;
    }

    // The tables may hold anything from an earlier run: set every address this client owns.
    void Initialise()
    {
        for (int block = 0; block < kBlocks; ++block) {
            WriteBlock(block);
        }
        WriteFreeRun(0, RandomWords(100));
        WriteFreeRun(100, RandomWords(kFreeAreaSize - 100));
        for (int start = 0; start < kCoilAreaSize; start += 800) {
            WriteCoilRun(start, RandomCoils(std::min(800, kCoilAreaSize - start)));
        }
    }

    void ReadFreeRun(int start, int count)
    {
        Bytes request = NewAdu(ReadRegistersPdu(static_cast<uint16_t>(FreeArea(index_) + start), static_cast<uint16_t>(count)));
        Send(request, RegistersResponse(request, std::vector<uint16_t>(free_.begin() + start, free_.begin() + start + count)));
    }

    void ReadBlocks(int firstBlock, int blockCount)
    {
        int start = firstBlock * kBlockSize;
        int count = blockCount * kBlockSize;
        Bytes request = NewAdu(ReadRegistersPdu(static_cast<uint16_t>(BlockArea(index_) + start), static_cast<uint16_t>(count)));
        Send(request, RegistersResponse(request, std::vector<uint16_t>(blocks_.begin() + start, blocks_.begin() + start + count)));
    }

    void ReadCoilRun(int start, int count)
    {
        Bytes request = NewAdu(ReadCoilsPdu(static_cast<uint16_t>(CoilArea(index_) + start), static_cast<uint16_t>(count)));
        Send(request, CoilsResponse(request, std::vector<uint8_t>(coils_.begin() + start, coils_.begin() + start + count)));
    }

    // The neighbour writes its blocks concurrently: every block must read whole, one write's values.
    void ReadNeighbourBlocks()
    {
        int neighbour = (index_ + 1) % kClients;
        int firstBlock = static_cast<int>(Random(kBlocks));
        int blockCount = 1 + static_cast<int>(Random(static_cast<uint32_t>(kBlocks - firstBlock)));
        Bytes request = NewAdu(ReadRegistersPdu(static_cast<uint16_t>(BlockArea(neighbour) + firstBlock * kBlockSize),
                                                static_cast<uint16_t>(blockCount * kBlockSize)));
        Bytes response;
        IoResult result = Transact(request, &response);
        if (result != IoResult::kOk) {
            Fail("client %d: neighbour read: %s", index_, IoResultText(result));
            tally.broken = true;
            return;
        }
        size_t expectedSize = 9 + static_cast<size_t>(blockCount * kBlockSize * 2);
        if (response.size() != expectedSize || !std::equal(request.begin(), request.begin() + 4, response.begin()) ||
            response[7] != 3 || response[8] != blockCount * kBlockSize * 2) {
            ++tally.wrongAnswers;
            Fail("client %d: neighbour read %s answered %s", index_, Hex(request).c_str(), Hex(response).c_str());
            return;
        }
        for (int block = 0; block < blockCount; ++block) {
            uint16_t stamp = 0;
            for (int j = 0; j < kBlockSize; ++j) {
                size_t at = 9 + static_cast<size_t>((block * kBlockSize + j) * 2);
                uint16_t value = static_cast<uint16_t>((response[at] << 8) | response[at + 1]);
                uint16_t blockStamp = static_cast<uint16_t>(value - j);
                if (j == 0) {
                    stamp = blockStamp;
                } else if (blockStamp != stamp) {
                    ++tally.tornBlocks;
                    Fail("client %d: block %d of client %d read torn: %s", index_, firstBlock + block, neighbour,
                         Hex(response).c_str());
                    break;
                }
            }
        }
    }

    void OneRandomRequest()
    {
        switch (Random(11)) {
        case 0: {   // code 6
            int at = static_cast<int>(Random(kFreeAreaSize));
            uint16_t value = RandomWord();
            Bytes request = NewAdu(WriteRegisterPdu(static_cast<uint16_t>(FreeArea(index_) + at), value));
            Send(request, EchoResponse(request));
            free_[static_cast<size_t>(at)] = value;
            break;
        }
        case 1:   // code 16, a whole block
            WriteBlock(static_cast<int>(Random(kBlocks)));
            break;
        case 2: {   // code 16, any run
            int count = 1 + static_cast<int>(Random(100));
            int start = static_cast<int>(Random(static_cast<uint32_t>(kFreeAreaSize - count + 1)));
            WriteFreeRun(start, RandomWords(count));
            break;
        }
        case 3: {   // code 23: the values read are those from before the write, even where they overlap
            int readCount = 1 + static_cast<int>(Random(kFreeAreaSize));
            int readStart = static_cast<int>(Random(static_cast<uint32_t>(kFreeAreaSize - readCount + 1)));
            int writeCount = 1 + static_cast<int>(Random(100));
            int writeStart = static_cast<int>(Random(static_cast<uint32_t>(kFreeAreaSize - writeCount + 1)));
            std::vector<uint16_t> values = RandomWords(writeCount);
            Bytes request = NewAdu(ReadWriteRegistersPdu(static_cast<uint16_t>(FreeArea(index_) + readStart),
                                                         static_cast<uint16_t>(readCount),
                                                         static_cast<uint16_t>(FreeArea(index_) + writeStart), values));
            Send(request, RegistersResponse(request, std::vector<uint16_t>(free_.begin() + readStart,
                                                                           free_.begin() + readStart + readCount)));
            std::copy(values.begin(), values.end(), free_.begin() + writeStart);
            break;
        }
        case 4: {   // code 22
            int at = static_cast<int>(Random(kFreeAreaSize));
            uint16_t andMask = RandomWord();
            uint16_t orMask = RandomWord();
            Bytes request = NewAdu(MaskWritePdu(static_cast<uint16_t>(FreeArea(index_) + at), andMask, orMask));
            Send(request, EchoResponse(request));
            free_[static_cast<size_t>(at)] = MaskedValue(free_[static_cast<size_t>(at)], andMask, orMask);
            break;
        }
        case 5: {   // code 5
            int at = static_cast<int>(Random(kCoilAreaSize));
            bool on = Random(2) == 1;
            Bytes request = NewAdu(WriteCoilPdu(static_cast<uint16_t>(CoilArea(index_) + at), on));
            Send(request, EchoResponse(request));
            coils_[static_cast<size_t>(at)] = on ? 1 : 0;
            break;
        }
        case 6: {   // code 15
            int count = 1 + static_cast<int>(Random(800));
            int start = static_cast<int>(Random(static_cast<uint32_t>(kCoilAreaSize - count + 1)));
            WriteCoilRun(start, RandomCoils(count));
            break;
        }
        case 7: {   // code 1
            int count = 1 + static_cast<int>(Random(kCoilAreaSize));
            ReadCoilRun(static_cast<int>(Random(static_cast<uint32_t>(kCoilAreaSize - count + 1))), count);
            break;
        }
        case 8: {   // code 3 on the free area, or on whole blocks of the own block area
            if (Random(2) == 0) {
                int count = 1 + static_cast<int>(Random(kFreeAreaSize));
                ReadFreeRun(static_cast<int>(Random(static_cast<uint32_t>(kFreeAreaSize - count + 1))), count);
            } else {
                int first = static_cast<int>(Random(kBlocks));
                ReadBlocks(first, 1 + static_cast<int>(Random(static_cast<uint32_t>(kBlocks - first))));
            }
            break;
        }
        case 9:
            ReadNeighbourBlocks();
            break;
        default: {   // the exception path under load: each answer is exactly known too
            ++tally.exceptionsChecked;
            Bytes request;
            uint8_t code = 0;
            switch (Random(3)) {
            case 0:
                request = NewAdu(ReadRegistersPdu(FreeArea(index_), 126));   // quantity too large
                code = 3;
                break;
            case 1:
                request = NewAdu(Bytes{7});   // not implemented
                code = 1;
                break;
            default:
                request = NewAdu(ReadRegistersPdu(65535, 2));   // runs past the last address
                code = 2;
                break;
            }
            Send(request, ExceptionResponse(request, code));
            break;
        }
        }
    }

    void ReadEverythingBack()
    {
        ReadBlocks(0, kBlocks);
        ReadFreeRun(0, kFreeAreaSize);
        ReadCoilRun(0, kCoilAreaSize);
    }

    int index_;
    uint16_t port_;
    std::barrier<>* ready_;
    std::mt19937 random_;
    ModbusConnection connection_;
    uint16_t nextTransaction_ = 1;
    std::vector<uint16_t> blocks_;
    std::vector<uint16_t> free_;
    std::vector<uint8_t> coils_;
};

// Takes snapshots of all four slots without pause while the clients run, as the console's refresh
// does, and checks that each one is a consistent picture of one moment: the last request and the
// last response belong to the same transaction, the counters agree with the buffers, and between
// two snapshots of the same connection the counters only grow, by exactly the lengths of the
// transactions in between when there was one. A counter published apart from its buffers, or a
// half-copied buffer, shows up here.
struct SnapshotTally {
    long snapshots = 0;
    long inconsistent = 0;
};

bool SnapshotHangsTogether(const SlotSnapshot& slot)
{
    uint64_t transactions = uint64_t{slot.acceptedRequests} + slot.rejectedRequests;
    if (transactions == 0) {
        return slot.lastRequestLength == 0 && slot.lastResponseLength == 0;
    }
    const uint8_t* request = slot.lastRequest;
    const uint8_t* response = slot.lastResponse;
    return slot.lastRequestLength >= 8 && slot.lastRequestLength <= kAduCapacity && slot.lastResponseLength >= 9 &&
           slot.lastResponseLength <= kAduCapacity &&
           slot.lastRequestLength == 6 + ((request[4] << 8) | request[5]) &&
           slot.lastResponseLength == 6 + ((response[4] << 8) | response[5]) &&
           std::equal(request, request + 4, response) && request[6] == response[6] &&
           (response[7] == request[7] || response[7] == (request[7] | 0x80));
}

void WatchSlots(const std::atomic<bool>* over, SnapshotTally* tally)
{
    SlotSnapshot previous[kSlotCount] = {};
    bool havePrevious[kSlotCount] = {};
    while (!over->load()) {
        for (int number = 0; number < kSlotCount; ++number) {
            SlotSnapshot slot;
            SnapshotSlot(number, &slot);
            ++tally->snapshots;
            if (slot.clientSocket == kNoSocket) {
                havePrevious[number] = false;
                continue;
            }
            bool consistent = SnapshotHangsTogether(slot);
            const SlotSnapshot& before = previous[number];
            if (havePrevious[number] && before.clientSocket == slot.clientSocket &&
                before.connectTick == slot.connectTick && std::strcmp(before.peerText, slot.peerText) == 0) {
                uint64_t was = uint64_t{before.acceptedRequests} + before.rejectedRequests;
                uint64_t now = uint64_t{slot.acceptedRequests} + slot.rejectedRequests;
                consistent = consistent && now >= was && slot.bytesReceived >= before.bytesReceived &&
                             slot.bytesTransmitted >= before.bytesTransmitted;
                if (now == was) {
                    consistent = consistent && slot.bytesReceived == before.bytesReceived &&
                                 slot.bytesTransmitted == before.bytesTransmitted &&
                                 std::memcmp(slot.lastRequest, before.lastRequest, slot.lastRequestLength) == 0 &&
                                 std::memcmp(slot.lastResponse, before.lastResponse, slot.lastResponseLength) == 0;
                } else if (now == was + 1) {
                    consistent = consistent && slot.bytesReceived - before.bytesReceived == slot.lastRequestLength &&
                                 slot.bytesTransmitted - before.bytesTransmitted == slot.lastResponseLength;
                }
            }
            if (!consistent) {
                ++tally->inconsistent;
                Fail("slot %d snapshot does not hang together: %u accepted, %u rejected, %llu/%llu bytes, last "
                     "request of %u bytes, last response of %u",
                     number, slot.acceptedRequests, slot.rejectedRequests,
                     static_cast<unsigned long long>(slot.bytesReceived),
                     static_cast<unsigned long long>(slot.bytesTransmitted), slot.lastRequestLength,
                     slot.lastResponseLength);
            }
            previous[number] = slot;
            havePrevious[number] = true;
        }
        // Far more often than a console would look, without taking a core from the clients.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// With the four connections still open, each slot's published counters must equal what its client
// counted: every transaction recorded once, under load, with its bytes. The last transaction is
// recorded just after its response went out, so the counters may need a moment to catch up.
bool CheckSlotCounters(const std::vector<std::unique_ptr<CheckingClient>>& clients)
{
    bool allEqual = true;
    for (const auto& client : clients) {
        std::string peer = "127.0.0.1:" + std::to_string(client->LocalPort());
        const ClientTally& counted = client->tally;
        SlotSnapshot slot{};
        bool found = false;
        bool equal = false;
        for (int64_t deadline = NowMilliseconds() + 2000; !equal && NowMilliseconds() < deadline;) {
            for (int number = 0; number < kSlotCount; ++number) {
                SnapshotSlot(number, &slot);
                if (slot.clientSocket != kNoSocket && peer == slot.peerText) {
                    found = true;
                    equal = slot.acceptedRequests == counted.accepted && slot.rejectedRequests == counted.rejected &&
                            slot.bytesReceived == counted.bytesSent && slot.bytesTransmitted == counted.bytesReceived;
                    break;
                }
            }
            if (!equal) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        allEqual = allEqual && found && equal;
        STRESS_CHECK(found, "no slot holds the connection from %s", peer.c_str());
        STRESS_CHECK(!found || equal,
                     "slot of %s counts %u accepted, %u rejected, %llu bytes in, %llu out; the client counted %u, %u, "
                     "%llu, %llu",
                     peer.c_str(), slot.acceptedRequests, slot.rejectedRequests,
                     static_cast<unsigned long long>(slot.bytesReceived),
                     static_cast<unsigned long long>(slot.bytesTransmitted), counted.accepted, counted.rejected,
                     static_cast<unsigned long long>(counted.bytesSent),
                     static_cast<unsigned long long>(counted.bytesReceived));
    }
    return allEqual;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string cli = CliPathFromArgs(argc, argv);
    bool inProcess = HasArg(argc, argv, "--in-process");
    if (cli.empty() && !inProcess) {
        std::fprintf(stderr, "usage: %s --cli PATH | --in-process\n", argv[0]);
        return 2;
    }
    const char* scenario = inProcess ? "load_check_in_process" : "load_check";
    int perClient = Scaled(50000, 200);

    ServerProcess process;
    InProcessServer inside;
    uint16_t port = 0;
    if (!StartScenarioServer(inProcess, cli, &process, &inside, &port)) {
        return FinishScenario(scenario, "server did not start");
    }

    std::barrier<> ready(kClients);
    std::vector<std::unique_ptr<CheckingClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<CheckingClient>(i, port, &ready));
    }
    int64_t start = NowMilliseconds();
    std::vector<std::thread> threads;
    for (auto& client : clients) {
        threads.emplace_back([&client, perClient] { client->Run(perClient); });
    }
    std::atomic<bool> clientsDone{false};
    SnapshotTally snapshots;
    std::thread watcher;
    if (inProcess) {
        watcher = std::thread([&] { WatchSlots(&clientsDone, &snapshots); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    int64_t elapsed = NowMilliseconds() - start;
    clientsDone = true;
    if (watcher.joinable()) {
        watcher.join();
    }

    ClientTally total;
    for (auto& client : clients) {
        total.requests += client->tally.requests;
        total.wrongAnswers += client->tally.wrongAnswers;
        total.tornBlocks += client->tally.tornBlocks;
        total.exceptionsChecked += client->tally.exceptionsChecked;
        STRESS_CHECK(!client->tally.broken, "a client's connection failed before it was done");
    }
    bool countersEqual = inProcess && CheckSlotCounters(clients);
    clients.clear();   // the four connections close

    long stopMs = 0;
    std::vector<std::string> lines;
    if (inProcess) {
        stopMs = inside.Stop(10000);
        STRESS_CHECK(stopMs >= 0, "the in-process server did not stop within 10 s");
        lines = inside.log.Lines();
        inside.Destroy();
    } else {
        stopMs = StopCliServer(&process);
        lines = process.log.Lines();
    }
    ConnectionLedger ledger = ReadLedger(lines);
    STRESS_CHECK(ledger.accepted == kClients, "%d connections accepted, expected %d", ledger.accepted, kClients);
    STRESS_CHECK(ledger.closed == ledger.accepted, "%d accepted but %d closed", ledger.accepted, ledger.closed);
    STRESS_CHECK(ledger.otherErrors + ledger.sendErrors + ledger.receiveErrors == 0, "the server logged an error");
    STRESS_CHECK(total.wrongAnswers == 0, "%ld wrong answers", total.wrongAnswers);
    STRESS_CHECK(total.tornBlocks == 0, "%ld torn blocks", total.tornBlocks);
    STRESS_CHECK(total.requests >= static_cast<long>(kClients) * perClient, "only %ld requests made", total.requests);

    char figure[512];
    std::snprintf(figure, sizeof figure,
                  "%d clients, %ld requests (%ld exception answers) in %.1f s (%.0f/s), wrong answers %ld, "
                  "torn blocks %ld, stop %ld ms%s",
                  kClients, total.requests, total.exceptionsChecked, elapsed / 1000.0,
                  elapsed > 0 ? total.requests * 1000.0 / static_cast<double>(elapsed) : 0.0, total.wrongAnswers,
                  total.tornBlocks, stopMs, !inProcess ? "" : countersEqual ? ", every slot's counters equal its client's" : ", slot counters WRONG");
    if (inProcess) {
        std::snprintf(figure + std::strlen(figure), sizeof figure - std::strlen(figure),
                      "; %ld slot snapshots taken meanwhile, inconsistent %ld", snapshots.snapshots,
                      snapshots.inconsistent);
    }
    return FinishScenario(scenario, figure);
}
