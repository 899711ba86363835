#include "platform/sockets/address_records.h"

#include <cstring>

bool FillSocketAddress(const char* text, uint16_t port, sockaddr_storage* storage, SystemAddressLength* length)
{
    StartSystemSockets();
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
