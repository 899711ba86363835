#pragma once

#include <cstdint>
#include <string>

#include "faults/fault_rule.h"
#include "modbus/function_codes.h"
#include "server/server_counters.h"
#include "server/transaction_trace.h"

// The figures of /metrics. Requests are counted by the transaction observer from the control
// interface's first start on; the rest is read from the core when asked.

// Results as the metrics label them: a normal response, exception 1, 2 or 3, or exception 11 (for a
// unit that is not served), the only ones the server answers.
inline constexpr int kResultCount = 5;
// Each served function code has its own row; every other code shares the last.
inline constexpr int kFunctionRowCount = kServedFunctionCount + 1;

// On the client thread, while it holds the transaction history's lock to keep the transaction
// (see KeepTransaction): that lock orders every count, so a count is a few plain additions.
void CountTransaction(const TransactionView& transaction);

struct MetricsSample {
    uint64_t requests[kFunctionRowCount][kResultCount];
    uint64_t bytesReceived;      // requests of completed transactions, MBAP header included
    uint64_t bytesTransmitted;   // their responses
    ServerCounters server;
    uint64_t connectionsOpen;
    bool running;
    uint64_t logLinesDropped;
    uint64_t faults[kFaultActionCount];   // by FaultAction; kNone stays 0
};

// One look at every figure; the slots are read one lock hold each.
MetricsSample SampleMetrics();

// The Prometheus text exposition format (version 0.0.4) of a sample.
std::string FormatMetrics(const MetricsSample& sample);
