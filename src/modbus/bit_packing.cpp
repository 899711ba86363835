// Both work a whole byte (eight coils) per step, since a 2,000-coil read would otherwise spend most
// of its time here.

#include <array>
#include <bit>
#include <cstring>

#include "modbus/bit_packing.h"
#include "modbus/modbus_limits.h"

namespace {

using CoilGroup = std::array<uint8_t, kBitsPerByte>;

// Each packed byte's eight coils, precomputed so that unpacking is one copy per byte.
constexpr std::array<CoilGroup, 256> MakeUnpackedGroups()
{
    std::array<CoilGroup, 256> groups{};
    for (unsigned packed = 0; packed < 256; ++packed) {
        for (unsigned bit = 0; bit < kBitsPerByte; ++bit) {
            groups[packed][bit] = static_cast<uint8_t>((packed >> bit) & 1u);
        }
    }
    return groups;
}

constexpr std::array<CoilGroup, 256> kUnpackedGroups = MakeUnpackedGroups();

// Packs one group of eight coil bytes (any non-zero byte is ON) into one byte.
uint8_t PackGroup(const uint8_t* coils)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        // Moves bit 8i + 7 to bit 56 + i; the other partial products land below bit 56 without
        // overlapping one another, or above bit 63, so nothing carries into the result.
        constexpr uint64_t kGather = 0x0002040810204081ULL;
        uint64_t group;
        std::memcpy(&group, coils, sizeof group);
        // Bit 7 of each byte set when the byte is non-zero; no carry crosses a byte.
        const uint64_t nonZero = (((group & kLow7) + kLow7) | group) & kHigh;
        return static_cast<uint8_t>((nonZero * kGather) >> 56);
    } else {
        uint8_t packed = 0;
        for (unsigned bit = 0; bit < kBitsPerByte; ++bit) {
            packed = static_cast<uint8_t>(packed | ((coils[bit] != 0 ? 1u : 0u) << bit));
        }
        return packed;
    }
}

}  // namespace

void PackBits(const uint8_t* coils, uint8_t* packed, uint16_t count)
{
    const uint16_t wholeBytes = count / kBitsPerByte;
    for (uint16_t i = 0; i < wholeBytes; ++i) {
        packed[i] = PackGroup(coils + i * kBitsPerByte);
    }
    const uint16_t rest = count % kBitsPerByte;
    if (rest == 0) {
        return;
    }
    const uint8_t* tail = coils + wholeBytes * kBitsPerByte;
    uint8_t last = 0;
    for (uint16_t bit = 0; bit < rest; ++bit) {
        last = static_cast<uint8_t>(last | ((tail[bit] != 0 ? 1u : 0u) << bit));
    }
    packed[wholeBytes] = last;
}

void UnpackBits(const uint8_t* packed, uint8_t* coils, uint16_t count)
{
    const uint16_t wholeBytes = count / kBitsPerByte;
    for (uint16_t i = 0; i < wholeBytes; ++i) {
        std::memcpy(coils + i * kBitsPerByte, kUnpackedGroups[packed[i]].data(), kBitsPerByte);
    }
    const uint16_t rest = count % kBitsPerByte;
    const uint8_t* tail = kUnpackedGroups[rest == 0 ? 0 : packed[wholeBytes]].data();
    std::memcpy(coils + wholeBytes * kBitsPerByte, tail, rest);
}
