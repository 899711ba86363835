#include "server/server_counters.h"

#include <atomic>

namespace {

// Each only ever added to and read whole; relaxed, since nothing else is ordered by them. Counted
// per connection, never per request, except the requests for a unit that is not served.
std::atomic<uint64_t> ConnectionsAccepted{0};
std::atomic<uint64_t> ConnectionsEvicted{0};
std::atomic<uint64_t> FramingViolations{0};
std::atomic<uint64_t> UnservedUnitRequests{0};

}  // namespace

void CountConnectionAccepted()
{
    ConnectionsAccepted.fetch_add(1, std::memory_order_relaxed);
}

void CountConnectionEvicted()
{
    ConnectionsEvicted.fetch_add(1, std::memory_order_relaxed);
}

void CountFramingViolation()
{
    FramingViolations.fetch_add(1, std::memory_order_relaxed);
}

void CountUnservedUnitRequest()
{
    UnservedUnitRequests.fetch_add(1, std::memory_order_relaxed);
}

ServerCounters ReadServerCounters()
{
    return ServerCounters{ConnectionsAccepted.load(std::memory_order_relaxed),
                          ConnectionsEvicted.load(std::memory_order_relaxed),
                          FramingViolations.load(std::memory_order_relaxed),
                          UnservedUnitRequests.load(std::memory_order_relaxed)};
}
