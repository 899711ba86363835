#include <cstdint>
#include <vector>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/log_history.h"
#include "control/transaction_history.h"

namespace {

// The longest an answer may wait for a new entry.
constexpr uint64_t kMaxWaitMilliseconds = 30000;
// Entries copied per hold of a ring's lock, so that a reader of the whole ring never keeps a
// client thread that finished a transaction waiting for more than a short copy.
constexpr size_t kEntriesPerCopy = 256;

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

// Hands `emit` every entry numbered after query.after, waiting first when there is none yet and
// the query asks to. Answers the extent to report: `last` is the newest entry the answer could
// hold, so that it works as the next query's `after`.
template <typename Entry, typename Emit>
typename SequenceRing<Entry>::Extent ReadHistory(SequenceRing<Entry>& ring, const HistoryQuery& query, Emit emit)
{
    typename SequenceRing<Entry>::Extent extent = ring.CurrentExtent();
    if (extent.last <= query.after && query.wait > 0) {
        ring.WaitAfter(query.after, static_cast<int>(query.wait));
        extent = ring.CurrentExtent();
    }
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
    JsonDocument transactions = JsonDocument::array();
    const auto extent = ReadHistory(TransactionHistory(), query, [&](const KeptTransaction& kept) {
        transactions.push_back(JsonDocument{{"seq", kept.seq},
                                            {"time", TimeText(kept.time)},
                                            {"socket", kept.socket},
                                            {"peer", kept.peer},
                                            {"request", HexText(kept.request, kept.requestLength)},
                                            {"response", HexText(kept.response, kept.responseLength)},
                                            {"exception", kept.exception}});
    });
    AnswerJson(response,
               JsonDocument{{"transactions", transactions}, {"last", extent.last}, {"dropped", extent.dropped}});
}
