#include "platform/sockets/address_records.h"

// Besides the records, the functions of platform/socket.h that only turn addresses into texts and
// back: WinSock has them as the Berkeley sockets do.

#include <cstring>

bool FillSocketAddress(const char* text, uint16_t port, sockaddr_storage* storage, SystemAddressLength* length)
{
    StartSystemSockets();   // the address functions, too, may want the sockets started
    std::memset(storage, 0, sizeof *storage);
    sockaddr_in* ipv4 = reinterpret_cast<sockaddr_in*>(storage);
    if (inet_pton(AF_INET, text, &ipv4->sin_addr) == 1) {
        ipv4->sin_family = AF_INET;
        ipv4->sin_port = htons(port);
        *length = sizeof *ipv4;
        return true;
    }
    sockaddr_in6* ipv6 = reinterpret_cast<sockaddr_in6*>(storage);
    if (inet_pton(AF_INET6, text, &ipv6->sin6_addr) == 1) {
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(port);
        *length = sizeof *ipv6;
        return true;
    }
    return false;
}

SocketAddress AddressOfRecord(const sockaddr_storage& storage)
{
    SocketAddress address{};
    if (storage.ss_family == AF_INET6) {
        const sockaddr_in6& ipv6 = reinterpret_cast<const sockaddr_in6&>(storage);
        address.port = ntohs(ipv6.sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&ipv6.sin6_addr)) {
            address.family = AddressFamily::kIpv4;
            std::memcpy(address.bytes, ipv6.sin6_addr.s6_addr + 12, 4);
        } else {
            address.family = AddressFamily::kIpv6;
            std::memcpy(address.bytes, ipv6.sin6_addr.s6_addr, 16);
        }
        return address;
    }
    const sockaddr_in& ipv4 = reinterpret_cast<const sockaddr_in&>(storage);
    address.family = AddressFamily::kIpv4;
    address.port = ntohs(ipv4.sin_port);
    std::memcpy(address.bytes, &ipv4.sin_addr, 4);
    return address;
}

bool AddressFamilyOf(const char* text, AddressFamily* family)
{
    sockaddr_storage storage;
    SystemAddressLength length = 0;
    if (!FillSocketAddress(text, 0, &storage, &length)) {
        return false;
    }
    *family = storage.ss_family == AF_INET6 ? AddressFamily::kIpv6 : AddressFamily::kIpv4;
    return true;
}

bool ResolveFirstIpv4(const char* name, char* dottedAddress)
{
    if (!StartSystemSockets()) {
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    const sockaddr_in* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    bool converted = inet_ntop(AF_INET, &first->sin_addr, dottedAddress, kIpv4TextSize) != nullptr;
    freeaddrinfo(found);
    return converted;
}

void FormatEndpoint(const SocketAddress& address, char* text)
{
    StartSystemSockets();
    char addressText[kAddressTextSize] = {};
    const bool ipv6 = address.family == AddressFamily::kIpv6;
    inet_ntop(ipv6 ? AF_INET6 : AF_INET, address.bytes, addressText, sizeof addressText);
    FormatEndpointOf(addressText, address.port, text);
}
