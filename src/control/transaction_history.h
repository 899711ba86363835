#pragma once

#include <cstddef>
#include <cstdint>

#include "control/sequence_ring.h"
#include "modbus/exception_code.h"
#include "modbus/modbus_limits.h"
#include "platform/clock.h"
#include "server/slot_table.h"

// Every Modbus transaction served while the control interface runs, numbered from 1 and stamped
// with the wall clock when it completed; the newest kTransactionHistoryCapacity are kept.

inline constexpr size_t kTransactionHistoryCapacity = 10000;

// Laid out so that keeping a transaction writes as few cache lines as it can: the history (6 MB)
// is larger than the caches, so every line a client thread writes here is a miss on its way to the
// next request. The fixed fields come first and the request and response follow back to back, so
// that a short exchange fills two of the ten lines an entry spans.
struct alignas(64) KeptTransaction {
    uint64_t seq;
    WallTime stamp;   // turned into the local time of day when answered, off the client thread
    int socket;
    uint16_t requestLength;
    uint16_t responseLength;
    ExceptionCode exception;
    char peer[kPeerTextSize];
    uint8_t bytes[2 * kAduCapacity];   // the request, then the response

    const uint8_t* Request() const { return bytes; }
    const uint8_t* Response() const { return bytes + requestLength; }
};

SequenceRing<KeptTransaction>& TransactionHistory();

// Opens the history (its storage allocated here, once) and adds the transaction observer that
// feeds it and the request metrics, once per process, before the server first starts. False
// when the storage cannot be had or no observer place is left. The history stops and closes
// through TransactionHistory().
bool OpenTransactionHistory();
