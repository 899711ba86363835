#pragma once

#include <cstdint>

#include "log/event_log.h"

// Log lines on standard output as the console's list shows them ("HH:MM:SS.mmm", a tab, the
// message), each flushed at once. The line is written before TakeMessage returns.
LogTarget* StdoutLogTarget();

// The --trace lines of one transaction, one for the request and one for the response.
void TraceTransaction(int socket, const uint8_t* request, uint16_t requestLength, const uint8_t* response,
                      uint16_t responseLength);
