#include "modbus/function_codes.h"

std::string ServedFunctionCodesText(const char* separator)
{
    std::string text;
    for (uint8_t code : kServedFunctionCodes) {
        text += (text.empty() ? "" : separator) + std::to_string(code);
    }
    return text;
}
