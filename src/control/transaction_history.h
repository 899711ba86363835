#pragma once

#include <cstddef>
#include <cstdint>

#include "control/packed_ring.h"
#include "modbus/exception_code.h"
#include "platform/clock.h"
#include "server/transaction_trace.h"

// Every Modbus transaction served while the control interface runs, numbered from 1 and stamped
// with the wall clock when it completed; the newest kTransactionHistoryCapacity are kept.

inline constexpr size_t kTransactionHistoryCapacity = 10000;

// A kept transaction as a reader sees it. The texts and bytes point into the history's storage and
// are valid only inside the visitor of VisitTransactionsAfter.
struct KeptTransaction {
    uint64_t seq;
    WallTime stamp;   // turned into the local time of day when answered, off the client thread
    int socket;
    ExceptionCode exception;
    const char* peer;   // not terminated
    size_t peerLength;
    const uint8_t* request;
    uint16_t requestLength;
    const uint8_t* response;
    uint16_t responseLength;
};

PackedRing& TransactionHistory();

// The kept transaction numbered `seq` from its record in the history.
KeptTransaction ReadKeptTransaction(uint64_t seq, const uint8_t* record);

// Room for `records` transactions copied out of the history by VisitTransactionsAfter.
PackedRing::Batch MakeTransactionBatch(size_t records);

// Hands `visit(kept)` the transactions numbered after `after` up to `until`, at most as many as
// `batch` holds, in order, as PackedRing::VisitAfter: copied out under the history's lock and
// visited after it was let go.
template <typename Visitor>
PackedRing::Visit VisitTransactionsAfter(uint64_t after, uint64_t until, PackedRing::Batch* batch, Visitor visit)
{
    return TransactionHistory().VisitAfter(after, until, batch, [&visit](uint64_t seq, const uint8_t* record, size_t) {
        visit(ReadKeptTransaction(seq, record));
    });
}

// The transaction observer that feeds the history and the request metrics.
void KeepTransaction(const TransactionView& transaction);

// Opens the history (its storage allocated here, once) and adds KeepTransaction as a transaction
// observer, once per process, before the server first starts. False when the storage cannot be
// had or no observer place is left. The history stops and closes through TransactionHistory().
bool OpenTransactionHistory();
