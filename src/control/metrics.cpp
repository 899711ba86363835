#include "control/metrics.h"

#include <array>
#include <atomic>

#include "faults/fault_rules.h"
#include "log/event_log.h"
#include "modbus/modbus_limits.h"
#include "server/server_control.h"
#include "server/slot_table.h"

namespace {

// Added to only under the transaction history's lock and read whole without it; relaxed, since
// nothing else is ordered by them.
std::atomic<uint64_t> Requests[kFunctionRowCount][kResultCount];
std::atomic<uint64_t> BytesReceived{0};
std::atomic<uint64_t> BytesTransmitted{0};

// Its writers are one at a time, so a load and a store add without a locked instruction.
void AddHeld(std::atomic<uint64_t>& counter, uint64_t amount)
{
    counter.store(counter.load(std::memory_order_relaxed) + amount, std::memory_order_relaxed);
}

// Each function code's row, looked up once per transaction.
constexpr std::array<uint8_t, 256> MakeFunctionRows()
{
    std::array<uint8_t, 256> rows{};
    for (int code = 0; code < 256; ++code) {
        rows[code] = kServedFunctionCount;
        for (int row = 0; row < kServedFunctionCount; ++row) {
            if (kServedFunctionCodes[row] == code) {
                rows[code] = static_cast<uint8_t>(row);
            }
        }
    }
    return rows;
}
constexpr std::array<uint8_t, 256> kFunctionRows = MakeFunctionRows();


std::string FunctionLabel(int row)
{
    return row < kServedFunctionCount ? std::to_string(kServedFunctionCodes[row]) : "other";
}

// Exceptions 1 to 3 have the columns of their numbers; exception 11 the last; -1 for no column.
int ResultColumn(ExceptionCode code)
{
    if (code == kGatewayTargetFailedToRespond) {
        return kResultCount - 1;
    }
    return code < kResultCount - 1 ? code : -1;
}

std::string ResultLabel(int result)
{
    if (result == kResultCount - 1) {
        return "exception_" + std::to_string(kGatewayTargetFailedToRespond);
    }
    return result == 0 ? "normal" : "exception_" + std::to_string(result);
}

// A metric's HELP and TYPE lines, ahead of its samples.
void AddMetric(std::string* text, const char* name, const char* type, const char* help)
{
    *text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// The one sample of a metric without labels.
void AddSample(std::string* text, const char* name, uint64_t value)
{
    *text += std::string(name) + " " + std::to_string(value) + "\n";
}

// Every action, zeros included, so that a rate can be taken from the first scrape on.
void AddFaultMetrics(std::string* text, const uint64_t* faults)
{
    AddMetric(text, "parvane_faults_total", "counter", "Faults that fault rules made, by action.");
    for (int action = 1; action < kFaultActionCount; ++action) {
        *text += std::string("parvane_faults_total{action=\"") + FaultActionName(static_cast<FaultAction>(action)) +
                 "\"} " + std::to_string(faults[action]) + "\n";
    }
}

}  // namespace

void CountTransaction(const TransactionView& transaction)
{
    const uint8_t functionCode =
        transaction.requestLength > kFunctionCodeOffset ? transaction.request[kFunctionCodeOffset] : 0;
    const int column = ResultColumn(transaction.code);
    if (column >= 0) {
        AddHeld(Requests[kFunctionRows[functionCode]][column], 1);
    }
    AddHeld(BytesReceived, transaction.requestLength);
    AddHeld(BytesTransmitted, transaction.responseLength);
}

MetricsSample SampleMetrics()
{
    MetricsSample sample{};
    for (int row = 0; row < kFunctionRowCount; ++row) {
        for (int result = 0; result < kResultCount; ++result) {
            sample.requests[row][result] = Requests[row][result].load(std::memory_order_relaxed);
        }
    }
    sample.bytesReceived = BytesReceived.load(std::memory_order_relaxed);
    sample.bytesTransmitted = BytesTransmitted.load(std::memory_order_relaxed);
    sample.server = ReadServerCounters();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        SlotSnapshot snapshot;
        SnapshotSlot(slot, &snapshot);
        sample.connectionsOpen += snapshot.clientSocket != kNoSocket ? 1 : 0;
    }
    sample.running = IsServerRunning();
    sample.logLinesDropped = DroppedLogLineCount();
    CopyFaultActionCounts(sample.faults);
    return sample;
}

std::string FormatMetrics(const MetricsSample& sample)
{
    std::string text;
    AddMetric(&text, "parvane_requests_total", "counter",
              "Modbus requests answered, by function code and by result (a normal response or an exception).");
    for (int row = 0; row < kFunctionRowCount; ++row) {
        for (int result = 0; result < kResultCount; ++result) {
            text += "parvane_requests_total{function=\"" + FunctionLabel(row) + "\",result=\"" +
                    ResultLabel(result) + "\"} " + std::to_string(sample.requests[row][result]) + "\n";
        }
    }
    AddMetric(&text, "parvane_received_bytes_total", "counter", "Bytes of the requests answered, MBAP headers included.");
    AddSample(&text, "parvane_received_bytes_total", sample.bytesReceived);
    AddMetric(&text, "parvane_transmitted_bytes_total", "counter", "Bytes of the responses sent, MBAP headers included.");
    AddSample(&text, "parvane_transmitted_bytes_total", sample.bytesTransmitted);
    AddMetric(&text, "parvane_connections_accepted_total", "counter", "Client connections accepted.");
    AddSample(&text, "parvane_connections_accepted_total", sample.server.connectionsAccepted);
    AddMetric(&text, "parvane_connections_evicted_total", "counter",
              "Client connections ended to make room for a fifth client.");
    AddSample(&text, "parvane_connections_evicted_total", sample.server.connectionsEvicted);
    AddMetric(&text, "parvane_connections_open", "gauge", "Client connections open now (at most four).");
    AddSample(&text, "parvane_connections_open", sample.connectionsOpen);
    AddMetric(&text, "parvane_framing_violations_total", "counter",
              "Connections ended for an MBAP header with a bad protocol identifier or length.");
    AddSample(&text, "parvane_framing_violations_total", sample.server.framingViolations);
    AddMetric(&text, "parvane_unserved_unit_requests_total", "counter",
              "Requests for a unit identifier that is not served (answered with exception 11 or not at all).");
    AddSample(&text, "parvane_unserved_unit_requests_total", sample.server.unservedUnitRequests);
    AddFaultMetrics(&text, sample.faults);
    AddMetric(&text, "parvane_log_lines_dropped_total", "counter",
              "Log lines that the log's reader did not take in time and that were dropped.");
    AddSample(&text, "parvane_log_lines_dropped_total", sample.logLinesDropped);
    AddMetric(&text, "parvane_server_running", "gauge", "1 while the Modbus server is running, 0 while it is stopped.");
    AddSample(&text, "parvane_server_running", sample.running ? 1 : 0);
    return text;
}
