#include "console/hex_dump.h"

void FormatHexDump(const uint8_t* bytes, uint16_t length, char* text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char* out = text;
    for (uint16_t i = 0; i < length; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 0x0F];
        *out++ = ' ';
    }
    *out = '\0';
}
