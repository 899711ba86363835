#include "server/listen_options.h"

#include "platform/socket.h"

namespace {

constexpr size_t kMaxDecimalDigits = 10;   // 4,294,967,295
constexpr uint32_t kHighestPort = 65535;

}  // namespace

bool ParseDecimalNumber(const std::string& text, uint32_t maximum, uint32_t* value)
{
    if (text.empty() || text.size() > kMaxDecimalDigits) {
        return false;
    }
    uint64_t parsed = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(digit - '0');
    }
    if (parsed > maximum) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseListenPort(const std::string& text, uint16_t* port)
{
    uint32_t value = 0;
    if (!ParseDecimalNumber(text, kHighestPort, &value)) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

bool IsBindAddress(const std::string& text)
{
    // The same reading the bind itself makes, so an accepted address never fails to bind as invalid.
    AddressFamily family;
    return AddressFamilyOf(text.c_str(), &family);
}
