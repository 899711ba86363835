#include "console/refresh_texts.h"

#include <cstdio>
#include <cstring>

#include "server/connection_statistics.h"
#include "tables/address_window.h"

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

constexpr int kBinaryLineDigits = 8;

// A binary register as its high byte over its low byte: sixteen digits do not fit a cell's width.
void SplitBinaryText(char* text)
{
    for (int i = 2 * kBinaryLineDigits; i > kBinaryLineDigits; --i) {
        text[i] = text[i - 1];
    }
    text[kBinaryLineDigits] = '\n';
    text[2 * kBinaryLineDigits + 1] = '\0';
}

bool InWindow(uint32_t address, uint16_t windowFirst, uint16_t windowLast)
{
    return address >= windowFirst && address <= windowLast;
}

// The text of a cell that starts a value of `count` registers at `address`.
void FormatValueCell(ValueFormat format, uint32_t address, uint16_t windowFirst, uint16_t windowLast,
                     const uint16_t* registers, int count, int span, char* text)
{
    const uint32_t lastAddress = address + static_cast<uint32_t>(count) - 1;
    if (lastAddress >= kTableSize) {
        std::snprintf(text, kGridTextSize, "--");
    } else if (!InWindow(address, windowFirst, windowLast) || !InWindow(lastAddress, windowFirst, windowLast)) {
        std::snprintf(text, kGridTextSize, "----");
    } else {
        FormatValueText(format, registers, GridTextRoom(span), text);
        if (format.kind == ValueTextKind::kBinary) {
            SplitBinaryText(text);
        }
    }
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

void ComposeDataGrid(int32_t start, uint16_t windowFirst, uint16_t windowLast, ValueFormat format,
                     const uint16_t* values, int valueCount, RefreshTexts* texts)
{
    const uint32_t first = static_cast<uint32_t>(start);
    for (int row = 0; row < kGridRows; ++row) {
        FormatNumber(first + static_cast<uint32_t>(kGridColumns * row), texts->rowLabel[row]);
    }
    const int count = ValueTextRegisterCount(format.kind);
    texts->twoLineCells = format.kind == ValueTextKind::kBinary;
    for (int i = 0; i < kGridCells; ++i) {
        const uint32_t address = first + static_cast<uint32_t>(i);
        const int span = GridCellSpan(count, i);
        char* text = texts->cell[i];
        texts->cellSpan[i] = static_cast<int8_t>(span);
        if (address >= kTableSize || span == 0) {
            text[0] = '\0';
        } else if (!InWindow(address, windowFirst, windowLast)) {
            std::snprintf(text, kGridTextSize, "----");
        } else if (span < 0) {
            std::snprintf(text, kGridTextSize, "%s", kContinuationMark);
        } else {
            // The registers past valueCount lie past the table's end, which the cell shows.
            uint16_t registers[4] = {};
            for (int k = 0; k < count && i + k < valueCount; ++k) {
                registers[k] = values[i + k];
            }
            FormatValueCell(format, address, windowFirst, windowLast, registers, count, span, text);
        }
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
