#include "tables/address_window.h"

bool RunInsideWindow(const AddressWindow& window, uint32_t address, uint32_t count)
{
    // Signed 64-bit, so neither address + count - 1 nor a count of 0 can wrap around.
    const int64_t runFirst = address;
    const int64_t runLast = runFirst + static_cast<int64_t>(count) - 1;
    return runFirst >= window.first && runLast <= window.last;
}

WindowRange CheckWindowRange(uint64_t start, uint64_t size)
{
    if (size == 0) {
        return WindowRange::kSizeZero;
    }
    // Each is compared alone first, so that the sum below cannot overflow 64 bits.
    if (start >= kTableSize || size > kTableSize || start + size > kTableSize) {
        return WindowRange::kPastTableEnd;
    }
    return WindowRange::kFits;
}

AddressWindow WindowOfRange(uint32_t start, uint32_t size)
{
    return AddressWindow{static_cast<uint16_t>(start), static_cast<uint16_t>(start + size - 1)};
}
