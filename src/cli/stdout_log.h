#pragma once

#include <cstdint>

#include "log/event_log.h"
#include "server/transaction_trace.h"

// Log lines on standard output as the console's list shows them ("HH:MM:SS.mmm", a tab, the
// message). A logging thread never waits for standard output: TakeMessage stamps the line and
// queues it, and a writer thread of its own writes it. When the reader stalls and the queue is full,
// lines are dropped, and once the queue has drained the writer says how many ("Standard output was
// blocked: N log lines dropped"). When the reader has gone, lines are dropped silently.
LogTarget* StdoutLogTarget();

// Starts the writer thread; 0 or the error number. Lines logged before it starts wait in the queue.
int StartStdoutLog();

// Called once nothing logs any more: lets the writer write what is queued and end. Waits at most
// `milliseconds`; false when the writer is still stuck in a write, and the process must then end
// without waiting for it (LeaveProcessNow).
bool StopStdoutLog(int milliseconds);

// The --trace lines of one transaction, one for the request and one for the response.
void TraceTransaction(const TransactionView& transaction);
