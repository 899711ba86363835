#include "console/edit_value_text.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool ParseEditValue(const char* text, int32_t* value)
{
    if (text[0] == '\0') {
        return false;
    }
    int i = 0;
    while (i < kEditValueCharacters && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < kEditValueCharacters && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Seven characters hold at most 9,999,999, far inside 32 bits.
    int32_t magnitude = 0;
    while (i < kEditValueCharacters && text[i] >= '0' && text[i] <= '9') {
        magnitude = magnitude * 10 + (text[i] - '0');
        ++i;
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

uint16_t RegisterValueFromEdit(int32_t value)
{
    return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu);
}

uint8_t CoilValueFromEdit(int32_t value)
{
    return value != 0 ? 1 : 0;
}
