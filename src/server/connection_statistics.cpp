#include "server/connection_statistics.h"

uint64_t RoundToSeconds(uint32_t milliseconds)
{
    return (static_cast<uint64_t>(milliseconds) + 500) / 1000;
}

ConnectionStatistics ComputeConnectionStatistics(const SlotSnapshot& snapshot, uint32_t now)
{
    const uint32_t connectMilliseconds = now - snapshot.connectTick;
    const uint32_t idleMilliseconds = now - snapshot.lastActivityTick;
    uint64_t connectSeconds = RoundToSeconds(connectMilliseconds);
    if (connectSeconds == 0) {
        connectSeconds = 1;
    }
    const uint32_t requests = snapshot.acceptedRequests + snapshot.rejectedRequests;

    ConnectionStatistics statistics{};
    statistics.bytesReceived = static_cast<uint32_t>(snapshot.bytesReceived);
    statistics.bytesTransmitted = static_cast<uint32_t>(snapshot.bytesTransmitted);
    statistics.acceptedRequests = snapshot.acceptedRequests;
    statistics.rejectedRequests = snapshot.rejectedRequests;
    statistics.requestsPerSecond = static_cast<uint32_t>(requests / connectSeconds);
    statistics.connectSeconds = static_cast<uint32_t>(connectSeconds);
    statistics.connectMinutes = static_cast<uint32_t>(connectSeconds / 60);
    statistics.idleSeconds = static_cast<uint32_t>(RoundToSeconds(idleMilliseconds));
    statistics.bytesReceivedPerSecond = static_cast<uint32_t>(snapshot.bytesReceived / connectSeconds);
    statistics.bytesTransmittedPerSecond = static_cast<uint32_t>(snapshot.bytesTransmitted / connectSeconds);
    return statistics;
}
