#include "tables/function_enable_table.h"

#include <atomic>

namespace {

// One entry per function code 0 to 127; codes from 128 on have none and are never enabled.
constexpr unsigned kFunctionEnableEntries = 128;
constexpr uintptr_t kEntryEnabled = 0;
constexpr uintptr_t kEntryDisabled = 1;

// Zero (enabled) at launch. Each entry is one word that the console writes and client threads
// read with no lock; relaxed atomics make that race-free without ordering anything else, since
// a change only has to apply from some next request on.
std::atomic<uintptr_t> FunctionEnableTable[kFunctionEnableEntries];

}  // namespace

bool IsFunctionEnabled(uint8_t code)
{
    return code < kFunctionEnableEntries &&
           FunctionEnableTable[code].load(std::memory_order_relaxed) == kEntryEnabled;
}

void SetFunctionEnabled(uint8_t code, bool enabled)
{
    if (code >= kFunctionEnableEntries) {
        return;
    }
    FunctionEnableTable[code].store(enabled ? kEntryEnabled : kEntryDisabled,
                                    std::memory_order_relaxed);
}
