#pragma once

#include <cstdint>

#include "modbus/exception_code.h"

// One completed transaction as its client thread has just published it.
struct TransactionView {
    int socket;
    const char* peerText;   // the client's "address:port"
    const uint8_t* request;
    uint16_t requestLength;
    const uint8_t* response;
    uint16_t responseLength;
    ExceptionCode code;      // 0 for a normal response
};

// An observer of every completed transaction: the headless server's --trace lines, the control
// interface's transaction history. Called on the client thread after the transaction was
// published, with no lock held; it may log.
using TransactionObserver = void (*)(const TransactionView& transaction);

inline constexpr int kMaxTransactionObservers = 2;

// Added before the server first starts, like the log target, and read by client threads without a
// lock; with none (the default) a transaction costs one test. False when all places are taken.
bool AddTransactionObserver(TransactionObserver observer);
// Removes every observer; only while no server runs.
void ClearTransactionObservers();
