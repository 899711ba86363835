#include "tables/address_window.h"

bool RunInsideWindow(const AddressWindow& window, uint32_t address, uint32_t count)
{
    // Signed 64-bit, so neither address + count - 1 nor a count of 0 can wrap around.
    const int64_t runFirst = address;
    const int64_t runLast = runFirst + static_cast<int64_t>(count) - 1;
    return runFirst >= window.first && runLast <= window.last;
}
