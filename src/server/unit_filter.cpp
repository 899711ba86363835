#include "server/unit_filter.h"

#include <atomic>

namespace {

// Zero (served) at launch. Relaxed, like the function enables: a change only has to apply from
// some next request on, and one byte load per request is all an unfiltered server pays.
std::atomic<uint8_t> UnitUnserved[kUnitIdCount];
std::atomic<uint8_t> UnknownUnit{static_cast<uint8_t>(UnknownUnitAnswer::kNone)};

}  // namespace

bool IsUnitServed(uint8_t unit)
{
    return UnitUnserved[unit].load(std::memory_order_relaxed) == 0;
}

void SetUnitServed(uint8_t unit, bool served)
{
    UnitUnserved[unit].store(served ? 0 : 1, std::memory_order_relaxed);
}

UnknownUnitAnswer ReadUnknownUnitAnswer()
{
    return static_cast<UnknownUnitAnswer>(UnknownUnit.load(std::memory_order_relaxed));
}

void SetUnknownUnitAnswer(UnknownUnitAnswer answer)
{
    UnknownUnit.store(static_cast<uint8_t>(answer), std::memory_order_relaxed);
}
