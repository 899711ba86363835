#include "console/dialog_number.h"

#include <cstring>
#include <string>

#include "server/listen_options.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

DialogNumber ReadDialogNumber(const char* text, uint32_t* value)
{
    const char* begin = text;
    const char* end = text + std::strlen(text);
    while (begin < end && IsBlank(*begin)) {
        ++begin;
    }
    while (end > begin && IsBlank(end[-1])) {
        --end;
    }
    if (begin == end) {
        return DialogNumber::kEmpty;
    }
    return ParseDecimalNumber(std::string(begin, end), UINT32_MAX, value) ? DialogNumber::kNumber
                                                                          : DialogNumber::kUnreadable;
}

uint32_t ReadUnsignedNumber(const char* text)
{
    uint32_t value = 0;
    return ReadDialogNumber(text, &value) == DialogNumber::kNumber ? value : 0;
}
