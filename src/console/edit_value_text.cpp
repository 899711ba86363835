#include "console/edit_value_text.h"

#include <cstdio>

#include "console/dialog_number.h"
#include "tables/address_window.h"

namespace {

constexpr uint32_t kHighestBitValue = 1;

bool IsBlankText(const char* text)
{
    for (; *text != '\0'; ++text) {
        if (*text != ' ' && *text != '\t') {
            return false;
        }
    }
    return true;
}

EditValuesReading Refusal(int box, const char* cell, int64_t address, const char* accepts)
{
    EditValuesReading refused{};
    refused.refusedBox = box;
    std::snprintf(refused.message, sizeof refused.message, "The value for %s %u must be %s.", cell,
                  static_cast<unsigned>(address), accepts);
    return refused;
}

bool ReadBit(const char* text, uint16_t* value)
{
    uint32_t number = 0;
    if (ReadDialogNumber(text, &number) != DialogNumber::kNumber || number > kHighestBitValue) {
        return false;
    }
    *value = static_cast<uint16_t>(number);
    return true;
}

}  // namespace

bool EditBoxTakesValue(ValueFormat format, int32_t viewStart, int box)
{
    const int count = ValueTextRegisterCount(format.kind);
    const int64_t lastAddress = static_cast<int64_t>(viewStart) + box + count - 1;
    return GridCellSpan(count, box) > 0 && lastAddress < kTableSize;
}

EditValuesReading ReadEditValues(const char* const texts[kGridCells], DataTable table, int32_t viewStart,
                                 ValueFormat format)
{
    const bool bits = HoldsBits(table);
    if (bits) {
        format = kPlainFormat;
    }
    EditValuesReading reading{};
    reading.refusedBox = -1;
    reading.registerCount = ValueTextRegisterCount(format.kind);
    for (int i = 0; i < kGridCells; ++i) {
        if (!EditBoxTakesValue(format, viewStart, i) || IsBlankText(texts[i])) {
            continue;
        }
        const bool read =
            bits ? ReadBit(texts[i], &reading.values[i]) : ParseValueText(format, texts[i], &reading.values[i]);
        if (!read) {
            return Refusal(i, NamesOf(table).cell, static_cast<int64_t>(viewStart) + i,
                           bits ? "0 or 1" : ValueTextAccepts(format.kind));
        }
        reading.filled[i] = true;
    }
    return reading;
}
