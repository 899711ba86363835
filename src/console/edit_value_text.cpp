#include "console/edit_value_text.h"

#include <cstdio>

#include "console/dialog_number.h"
#include "tables/address_window.h"

namespace {

constexpr uint32_t kHighestRegisterValue = 65535;
constexpr uint32_t kHighestCoilValue = 1;

}  // namespace

EditValuesReading ReadEditValues(const char* const texts[kGridCells], bool registers, int32_t viewStart)
{
    EditValuesReading reading{};
    reading.refusedBox = -1;
    const uint32_t highest = registers ? kHighestRegisterValue : kHighestCoilValue;
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
            if (registers) {
                std::snprintf(refused.message, sizeof refused.message,
                              "The value for register %u must be a whole number from 0 to %u.",
                              static_cast<unsigned>(address), static_cast<unsigned>(highest));
            } else {
                std::snprintf(refused.message, sizeof refused.message, "The value for coil %u must be 0 or 1.",
                              static_cast<unsigned>(address));
            }
            return refused;
        }
        reading.filled[i] = true;
        reading.values[i] = static_cast<uint16_t>(value);
    }
    return reading;
}
