#include <vector>

#include "control/control_routes.h"
#include "control/http_answers.h"
#include "control/metrics.h"
#include "parvane_version.h"
#include "platform/clock.h"
#include "server/connection_statistics.h"
#include "server/server_control.h"
#include "server/slot_table.h"

namespace {

constexpr const char* kMetricsContentType = "text/plain; version=0.0.4";

JsonDocument ConnectionDocument(const SlotSnapshot& snapshot, uint32_t now)
{
    const ConnectionStatistics statistics = ComputeConnectionStatistics(snapshot, now);
    return JsonDocument{{"socket", snapshot.clientSocket},
                        {"peer", snapshot.peerText},
                        {"acceptedRequests", snapshot.acceptedRequests},
                        {"rejectedRequests", snapshot.rejectedRequests},
                        {"bytesReceived", snapshot.bytesReceived},
                        {"bytesTransmitted", snapshot.bytesTransmitted},
                        {"connectedSeconds", statistics.connectSeconds},
                        {"idleSeconds", statistics.idleSeconds}};
}

}  // namespace

void AnswerStatus(const httplib::Request&, httplib::Response& response)
{
    // One lock hold per slot, as the console's refresh takes them, and all four before any text.
    SlotSnapshot snapshots[kSlotCount];
    for (int slot = 0; slot < kSlotCount; ++slot) {
        SnapshotSlot(slot, &snapshots[slot]);
    }
    const uint32_t now = TickCount();
    JsonDocument connections = JsonDocument::array();
    for (const SlotSnapshot& snapshot : snapshots) {
        if (snapshot.clientSocket != kNoSocket) {
            connections.push_back(ConnectionDocument(snapshot, now));
        }
    }
    AnswerJson(response, JsonDocument{{"version", PARVANE_VERSION},
                                      {"running", IsServerRunning()},
                                      {"listen", {{"address", ListenAddress()}, {"port", ListeningPort()}}},
                                      {"connections", connections}});
}

void AnswerMetrics(const httplib::Request&, httplib::Response& response)
{
    response.set_content(FormatMetrics(SampleMetrics()), kMetricsContentType);
}
