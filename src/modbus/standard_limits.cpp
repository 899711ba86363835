#include "modbus/standard_limits.h"

#include <atomic>

#include "modbus/modbus_limits.h"

namespace {

constexpr WriteLimits kOwnWriteLimits = {kMaxWriteCoils, kMaxWriteRegisters, kMaxWriteRegisters, false};
constexpr WriteLimits kStandardWriteLimits = {kStandardMaxWriteCoils, kStandardMaxWriteRegisters,
                                              kStandardMaxReadWriteWrites, true};

// Relaxed, as the enables: a change only has to apply from some next request on, and each request
// reads it once, so its limits and its order always come from the same setting.
std::atomic<uintptr_t> StandardLimitsFlag{0};

}  // namespace

bool StandardLimitsInForce()
{
    return StandardLimitsFlag.load(std::memory_order_relaxed) != 0;
}

void SetStandardLimits(bool inForce)
{
    StandardLimitsFlag.store(inForce ? 1 : 0, std::memory_order_relaxed);
}

WriteLimits CurrentWriteLimits()
{
    return StandardLimitsInForce() ? kStandardWriteLimits : kOwnWriteLimits;
}
