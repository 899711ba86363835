#pragma once

#include <cstddef>
#include <cstdint>

#include "control/sequence_ring.h"
#include "modbus/exception_code.h"
#include "modbus/modbus_limits.h"
#include "platform/clock.h"
#include "server/slot_table.h"

// Every Modbus transaction served while the control interface runs, numbered from 1 and stamped
// with the local time when it completed; the newest kTransactionHistoryCapacity are kept.

inline constexpr size_t kTransactionHistoryCapacity = 10000;

struct KeptTransaction {
    uint64_t seq;
    TimeOfDay time;
    int socket;
    char peer[kPeerTextSize];
    uint16_t requestLength;
    uint16_t responseLength;
    uint8_t request[kAduCapacity];
    uint8_t response[kAduCapacity];
    ExceptionCode exception;
};

SequenceRing<KeptTransaction>& TransactionHistory();

// Opens the history (its storage allocated here, once) and adds the transaction observer that
// feeds it and the request metrics, once per process, before the server first starts. False
// when the storage cannot be had or no observer place is left. The history stops and closes
// through TransactionHistory().
bool OpenTransactionHistory();
