#include "platform/socket.h"

#include <cstdio>
#include <cstring>

void FormatEndpointOf(const char* address, uint16_t port, char* text)
{
    if (std::strchr(address, ':') != nullptr) {
        std::snprintf(text, kEndpointTextSize, "[%s]:%hu", address, port);
    } else {
        std::snprintf(text, kEndpointTextSize, "%s:%hu", address, port);
    }
}
