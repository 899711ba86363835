#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/log_history.h"
#include "control/transaction_history.h"
#include "control/transaction_text.h"

namespace {

// A transactions entry of a short request and its answer (a read or write of ten registers takes
// about 200 bytes), with room to spare so that a full history's text seldom moves as it grows.
constexpr size_t kTypicalTransactionTextSize = 256;
// The longest an answer may wait for a new entry.
constexpr uint64_t kMaxWaitMilliseconds = 30000;
// Entries copied per hold of a ring's lock, so that a reader of the whole ring never keeps a
// client thread that finished a transaction waiting for more than a short copy.
constexpr size_t kEntriesPerCopy = 256;
// Transactions written as text per hold of the ring's lock: a few microseconds' work.
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

// The transactions after query.after written into *answer straight from the ring, a batch per
// hold of its lock: a full history is 10,000 entries, and copying them out first cost more than
// writing them. Room for a batch's longest text is made before each hold, so that nothing is
// allocated while a client thread may be waiting for the lock. Answers the extent as ReadHistory.
PackedRing::Extent WriteTransactions(const HistoryQuery& query, TransactionText* answer)
{
    PackedRing::Extent extent = WaitForHistory(TransactionHistory(), query);
    const uint64_t until = extent.last;
    uint64_t after = query.after;
    for (;;) {
        answer->MakeRoom(kTransactionsPerHold);
        const auto visit = VisitTransactionsAfter(after, until, kTransactionsPerHold,
                                                  [answer](const KeptTransaction& kept) { answer->Add(kept); });
        extent = visit.extent;
        if (visit.count < kTransactionsPerHold) {
            break;
        }
        after = visit.lastSeq;
    }
    return {until, extent.dropped};
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
    // Room for the entries held now.
    const auto held = TransactionHistory().CurrentExtent();
    const uint64_t first = std::max(query.after, held.dropped);
    std::string text;
    text.reserve(static_cast<size_t>(std::min<uint64_t>(held.last > first ? held.last - first : 0,
                                                        kTransactionHistoryCapacity)) *
                     kTypicalTransactionTextSize +
                 kTypicalTransactionTextSize);
    TransactionText answer(&text);
    const auto extent = WriteTransactions(query, &answer);
    answer.Finish(extent.last, extent.dropped);
    response.status = 200;
    response.body = std::move(text);
    response.set_header("Content-Type", kJsonContentType);
}
