// Feeds the fuzzer's bytes as one client's byte stream to the server's receive path and checks
// that every ADU it hands on is exactly the next stretch of the stream that its MBAP header
// announces: 8 to 260 bytes, protocol identifier 0, never a byte more or less.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modbus/modbus_limits.h"
#include "platform/kick_event.h"
#include "platform/socket.h"
#include "server/mbap_framing.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static KickEvent kick;   // never signalled: the stream ends only by its content or its close
    SocketHandle ends[2];
    Require(CreateStreamSocketPair(ends) == 0);
    int error = 0;
    // The whole stream fits in the pair's buffer, so it is written before anything is read.
    Require(size == 0 || SendBytes(ends[0], data, static_cast<int>(size), &error) == static_cast<int>(size));
    CloseSocket(ends[0]);

    size_t consumed = 0;
    for (;;) {
        uint8_t adu[kAduCapacity];
        uint16_t length = ReceiveAdu(ends[1], adu, &kick);
        if (length == 0) {
            break;
        }
        Require(length >= kMinRequestLength && length <= kAduCapacity);
        Require(consumed + length <= size);
        Require(std::memcmp(adu, data + consumed, length) == 0);
        Require(adu[2] == 0 && adu[3] == 0);
        Require(((adu[4] << 8) | adu[5]) == length - 6);
        consumed += length;
    }
    CloseSocket(ends[1]);
    return 0;
}
