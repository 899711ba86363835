#include "console/dialog_number.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

uint32_t ReadUnsignedNumber(const char* text)
{
    const char* p = text;
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return 0;
    }
    uint64_t number = 0;
    while (*p >= '0' && *p <= '9') {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > UINT32_MAX) {
            return 0;
        }
        ++p;
    }
    while (IsBlank(*p)) {
        ++p;
    }
    return *p == '\0' ? static_cast<uint32_t>(number) : 0;
}
