#include "console/edit_value_text.h"

#include <cstdio>

#include "console/dialog_number.h"
#include "tables/address_window.h"

namespace {

constexpr uint32_t kHighestRegisterValue = 65535;
constexpr uint32_t kHighestBitValue = 1;

}  // namespace

EditValuesReading ReadEditValues(const char* const texts[kGridCells], DataTable table, int32_t viewStart)
{
    EditValuesReading reading{};
    reading.refusedBox = -1;
    const bool bits = HoldsBits(table);
    const uint32_t highest = bits ? kHighestBitValue : kHighestRegisterValue;
    for (int i = 0; i < kGridCells; ++i) {
        const int64_t address = static_cast<int64_t>(viewStart) + i;
        if (address >= kTableSize) {
            continue;
        }
        uint32_t value = 0;
        const DialogNumber number = ReadDialogNumber(texts[i], &value);
        if (number == DialogNumber::kEmpty) {
            continue;
        }
        if (number == DialogNumber::kUnreadable || value > highest) {
            EditValuesReading refused{};
            refused.refusedBox = i;
            if (bits) {
                std::snprintf(refused.message, sizeof refused.message, "The value for %s %u must be 0 or 1.",
                              NamesOf(table).cell, static_cast<unsigned>(address));
            } else {
                std::snprintf(refused.message, sizeof refused.message,
                              "The value for %s %u must be a whole number from 0 to %u.", NamesOf(table).cell,
                              static_cast<unsigned>(address), static_cast<unsigned>(highest));
            }
            return refused;
        }
        reading.filled[i] = true;
        reading.values[i] = static_cast<uint16_t>(value);
    }
    return reading;
}
