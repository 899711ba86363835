#include "control/transaction_history.h"

#include <cstring>

#include "control/metrics.h"
#include "server/transaction_trace.h"

namespace {

SequenceRing<KeptTransaction> History;

// Read and written only by OpenTransactionHistory's caller, before the server first starts.
bool ObserverAdded = false;

// On the client thread, after the transaction was published, with no lock held: one copy under the
// ring's lock, and a few counters.
void KeepTransaction(const TransactionView& transaction)
{
    const WallTime stamp = WallClockNow();
    History.Add([&](KeptTransaction& kept) {
        kept.stamp = stamp;
        kept.socket = transaction.socket;
        kept.requestLength = transaction.requestLength <= kAduCapacity ? transaction.requestLength : 0;
        kept.responseLength = transaction.responseLength <= kAduCapacity ? transaction.responseLength : 0;
        std::strncpy(kept.peer, transaction.peerText, sizeof kept.peer - 1);
        kept.peer[sizeof kept.peer - 1] = '\0';
        std::memcpy(kept.bytes, transaction.request, kept.requestLength);
        std::memcpy(kept.bytes + kept.requestLength, transaction.response, kept.responseLength);
        kept.exception = transaction.code;
    });
    CountTransaction(transaction);
}

}  // namespace

SequenceRing<KeptTransaction>& TransactionHistory()
{
    return History;
}

bool OpenTransactionHistory()
{
    if (!ObserverAdded) {
        if (!AddTransactionObserver(KeepTransaction)) {
            return false;
        }
        ObserverAdded = true;
    }
    return History.Open(kTransactionHistoryCapacity);
}
