#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/log_history.h"
#include "control/transaction_history.h"
#include "control/transaction_text.h"

namespace {

// The longest an answer may wait for a new entry.
constexpr uint64_t kMaxWaitMilliseconds = 30000;
// Entries copied per hold of a ring's lock, so that a reader of the whole ring never keeps a
// client thread that finished a transaction waiting for more than a short copy.
constexpr size_t kEntriesPerCopy = 256;
// Transactions copied out of the history per hold of its lock: some 5 KB of a short exchange's
// records, a fraction of a microsecond.
constexpr size_t kTransactionsPerHold = 64;

struct HistoryQuery {
    uint64_t after;
    uint64_t wait;   // milliseconds; 0: answer at once
};

bool ReadHistoryQuery(const httplib::Request& request, HistoryQuery* query, std::string* problem)
{
    const uint64_t none = 0;
    return ReadQueryNumber(request, "after", 0, UINT64_MAX, &none, &query->after, problem) &&
           ReadQueryNumber(request, "wait", 0, kMaxWaitMilliseconds, &none, &query->wait, problem);
}

// The ring's extent once it holds an entry numbered after query.after, or at once when the query
// does not ask to wait.
template <typename Ring>
auto WaitForHistory(Ring& ring, const HistoryQuery& query)
{
    auto extent = ring.CurrentExtent();
    if (extent.last <= query.after && query.wait > 0) {
        ring.WaitAfter(query.after, static_cast<int>(query.wait));
        extent = ring.CurrentExtent();
    }
    return extent;
}

// Hands `emit` every entry numbered after query.after, waiting first when there is none yet and
// the query asks to. Answers the extent to report: `last` is the newest entry the answer could
// hold, so that it works as the next query's `after`.
template <typename Entry, typename Emit>
typename SequenceRing<Entry>::Extent ReadHistory(SequenceRing<Entry>& ring, const HistoryQuery& query, Emit emit)
{
    typename SequenceRing<Entry>::Extent extent = WaitForHistory(ring, query);
    const uint64_t until = extent.last;
    std::vector<Entry> copied;
    copied.reserve(kEntriesPerCopy);
    uint64_t after = query.after;
    for (;;) {
        copied.clear();
        extent = ring.CopyAfter(after, until, kEntriesPerCopy, &copied);
        for (const Entry& entry : copied) {
            emit(entry);
        }
        if (copied.size() < kEntriesPerCopy) {
            break;
        }
        after = copied.back().seq;
    }
    return {until, extent.dropped};
}

// The transactions numbered after `after` up to `until` written into *text from the history's
// records, copied out a batch per hold of its lock. The history goes on taking transactions
// meanwhile; should it drop one that the answer has yet to write (some 10,000 transactions while an
// answer is written), the answer ends before it, `last` naming its last entry: an answer never has a
// gap in the middle, and the next one starts with the gap. Answers the extent to report.
PackedRing::Extent WriteTransactions(uint64_t after, uint64_t until, PackedRing::Batch* batch, TransactionText* text)
{
    uint64_t written = after;   // the number of the last entry written
    bool anyWritten = false;
    for (;;) {
        bool stopped = false;
        const auto visit =
            VisitTransactionsAfter(written, until, batch, [&](const KeptTransaction& kept) {
                // The first entry may follow a gap, which the answer's start shows; a later one may not.
                if (stopped || (anyWritten && kept.seq != written + 1) || !text->Add(kept)) {
                    stopped = true;
                    return;
                }
                written = kept.seq;
                anyWritten = true;
            });
        if (stopped || (anyWritten && written < until && visit.extent.dropped > written)) {
            return {written, visit.extent.dropped};
        }
        if (visit.count < batch->Records()) {
            return {until, visit.extent.dropped};
        }
    }
}

}  // namespace

void AnswerLog(const httplib::Request& request, httplib::Response& response)
{
    HistoryQuery query{};
    std::string problem;
    if (!ReadHistoryQuery(request, &query, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    JsonDocument lines = JsonDocument::array();
    const auto extent = ReadHistory(LogHistory(), query, [&](const LoggedLine& line) {
        lines.push_back(JsonDocument{{"seq", line.seq}, {"time", TimeText(line.time)}, {"text", line.text}});
    });
    AnswerJson(response, JsonDocument{{"lines", lines}, {"last", extent.last}, {"dropped", extent.dropped}});
}

void AnswerTransactions(const httplib::Request& request, httplib::Response& response)
{
    HistoryQuery query{};
    std::string problem;
    if (!ReadHistoryQuery(request, &query, &problem)) {
        AnswerError(response, 400, problem);
        return;
    }
    const PackedRing::Extent held = WaitForHistory(TransactionHistory(), query);
    const uint64_t first = std::max(query.after, held.dropped);
    auto text = std::make_shared<TransactionText>(held.last > first ? held.last - first : 0);
    PackedRing::Batch batch = MakeTransactionBatch(kTransactionsPerHold);
    if (!text->HasBuffer() || !batch.HasRoom()) {
        AnswerError(response, 500, "no memory for the answer");
        return;
    }
    const PackedRing::Extent extent = WriteTransactions(query.after, held.last, &batch, text.get());
    text->Finish(extent.last, extent.dropped);
    response.status = 200;
    // Sent straight from the text's buffer.
    response.set_content_provider(text->Size(), kJsonContentType,
                                  [text](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sink.write(text->Data() + offset, length);
                                  });
}
