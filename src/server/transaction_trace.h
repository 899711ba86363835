#pragma once

#include <cstdint>

// An optional observer of every completed transaction, for tools that show the traffic (the
// headless server's --trace). Called on the client thread after the transaction was published,
// with no lock held; it may log.
using TransactionTrace = void (*)(int socket, const uint8_t* request, uint16_t requestLength, const uint8_t* response,
                                  uint16_t responseLength);

// Set before the server first starts, like the log target; nullptr (the default) traces nothing.
void SetTransactionTrace(TransactionTrace trace);
