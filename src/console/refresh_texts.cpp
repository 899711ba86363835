#include "console/refresh_texts.h"

#include <cstdio>
#include <cstring>

#include "server/connection_statistics.h"

namespace {

void FormatNumber(uint32_t value, char* text)
{
    std::snprintf(text, kNumberTextSize, "%u", value);
}

void ComposeStatistics(const SlotSnapshot& snapshot, uint32_t now, RefreshTexts* texts)
{
    const ConnectionStatistics statistics = ComputeConnectionStatistics(snapshot, now);
    const uint32_t values[kStatisticsCount] = {
        statistics.bytesReceived,     statistics.bytesTransmitted,       statistics.acceptedRequests,
        statistics.rejectedRequests,  statistics.requestsPerSecond,      statistics.connectMinutes,
        statistics.idleSeconds,       statistics.bytesReceivedPerSecond, statistics.bytesTransmittedPerSecond,
    };
    for (int k = 0; k < kStatisticsCount; ++k) {
        FormatNumber(values[k], texts->statistics[k]);
    }
    FormatHexDump(snapshot.lastRequest, snapshot.lastRequestLength, texts->requestDump);
    FormatHexDump(snapshot.lastResponse, snapshot.lastResponseLength, texts->responseDump);
}

void EmptyStatistics(RefreshTexts* texts)
{
    for (int k = 0; k < kStatisticsCount; ++k) {
        texts->statistics[k][0] = '\0';
    }
    texts->requestDump[0] = '\0';
    texts->responseDump[0] = '\0';
}

}  // namespace

void ComposeConnectionMonitor(const SlotSnapshot snapshots[kSlotCount], int viewedSlot, uint32_t now,
                              RefreshTexts* texts)
{
    texts->monitorShown = viewedSlot >= 0 && viewedSlot < kSlotCount;
    for (int i = 0; i < kSlotCount; ++i) {
        const SlotSnapshot& snapshot = snapshots[i];
        const bool free = snapshot.clientSocket == kNoSocket;
        if (free) {
            texts->socketText[i][0] = '\0';
            texts->peerText[i][0] = '\0';
        } else {
            FormatNumber(static_cast<uint32_t>(snapshot.clientSocket), texts->socketText[i]);
            std::memcpy(texts->peerText[i], snapshot.peerText, kPeerTextSize);
            texts->peerText[i][kPeerTextSize - 1] = '\0';
        }
        if (i == viewedSlot) {
            if (free) {
                EmptyStatistics(texts);
            } else {
                ComposeStatistics(snapshot, now, texts);
            }
        }
    }
}

void ComposeDataGrid(int32_t start, uint16_t windowFirst, uint16_t windowLast, const uint16_t* values,
                     int valueCount, RefreshTexts* texts)
{
    const uint32_t first = static_cast<uint32_t>(start);
    for (int row = 0; row < kGridRows; ++row) {
        FormatNumber(first + static_cast<uint32_t>(kGridColumns * row), texts->rowLabel[row]);
    }
    for (int i = 0; i < kGridCells; ++i) {
        const uint32_t value = i < valueCount ? values[i] : 0;
        FormatGridCell(first + static_cast<uint32_t>(i), windowFirst, windowLast, value, texts->cell[i]);
    }
}

CaptionChange FollowServerState(bool serverRunning, bool* captionShowsRunning)
{
    if (serverRunning && !*captionShowsRunning) {
        *captionShowsRunning = true;
        return CaptionChange::ShowRunning;
    }
    if (!serverRunning && *captionShowsRunning) {
        *captionShowsRunning = false;
        return CaptionChange::ShowStopped;
    }
    return CaptionChange::None;
}
