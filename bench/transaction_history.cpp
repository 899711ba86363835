// The control interface's share of a busy server's work, per transaction: what a client thread pays
// to keep each transaction in the history, and what the HTTP thread pays to write a kept
// transaction into the answer of GET /api/v1/transactions (not counting the send). Both for a read
// of ten registers, the bench.sh workload, by a client at 127.0.0.1.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "control/transaction_history.h"
#include "control/transaction_text.h"
#include "server/transaction_trace.h"

namespace {

// Read 10 holding registers from 100 and its answer of 20 bytes of values.
const uint8_t kRequest[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x64, 0x00, 0x0A};
const uint8_t kResponse[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x17, 0x01, 0x03, 0x14, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const TransactionView kTransaction{8, "127.0.0.1:40112", kRequest, sizeof kRequest, kResponse, sizeof kResponse, 0};

// The history is larger than the caches, and each add goes on where the last one ended, as on a
// server, so its stores miss as they do there.
void KeepTransactionInHistory(benchmark::State& state)
{
    if (!OpenTransactionHistory()) {
        state.SkipWithError("no history");
        return;
    }
    for (auto _ : state) {
        KeepTransaction(kTransaction);
    }
    state.SetItemsProcessed(state.iterations());
    TransactionHistory().Close();
}
BENCHMARK(KeepTransactionInHistory);

// A whole history written as text, as one answer writes it: a batch of records copied out per hold
// of the history's lock, then written into a buffer allocated for the answer.
void WriteTransactionsText(benchmark::State& state)
{
    if (!OpenTransactionHistory()) {
        state.SkipWithError("no history");
        return;
    }
    for (size_t index = 0; index < kTransactionHistoryCapacity; ++index) {
        KeepTransaction(kTransaction);
    }
    PackedRing::Batch batch = MakeTransactionBatch(64);
    size_t bytes = 0;
    for (auto _ : state) {
        TransactionText text(kTransactionHistoryCapacity);
        uint64_t after = 0;
        for (;;) {
            const auto visit = VisitTransactionsAfter(after, kTransactionHistoryCapacity, &batch,
                                                      [&text](const KeptTransaction& kept) { text.Add(kept); });
            if (visit.count < batch.Records()) {
                break;
            }
            after = visit.lastSeq;
        }
        text.Finish(kTransactionHistoryCapacity, 0);
        bytes = text.Size();
        benchmark::DoNotOptimize(text.Data());
    }
    state.SetItemsProcessed(state.iterations() * kTransactionHistoryCapacity);
    state.SetBytesProcessed(state.iterations() * bytes);
    TransactionHistory().Close();
}
BENCHMARK(WriteTransactionsText);

}  // namespace

BENCHMARK_MAIN();
