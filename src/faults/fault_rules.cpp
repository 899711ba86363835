#include "faults/fault_rules.h"

#include <cinttypes>
#include <cstring>
#include <mutex>
#include <random>

#include "faults/fault_random.h"
#include "log/event_log.h"

std::atomic<int> FaultRuleCount{0};

namespace {

struct FaultRuleEntry {
    uint32_t id;
    FaultRule rule;
    uint64_t matched;
    uint64_t acted;
};

std::mutex FaultRulesLock;   // guards everything below
FaultRuleEntry FaultRuleEntries[kMaxFaultRules];
int EntryCount = 0;
uint32_t NextRuleId = 1;
FaultRandom FaultRandomSource{0};
uint64_t FaultSeed = 0;
bool SeedChosen = false;
bool SeedLogged = false;
uint64_t ActionCounts[kFaultActionCount] = {};

bool FunctionMatches(const FaultRule& rule, uint8_t code)
{
    if (code >= 128) {
        // Only a rule without fc= takes an out-of-range code: bit 0 is set exactly then.
        return (rule.functionCodes[0] & 1) != 0;
    }
    return (rule.functionCodes[code / 64] >> (code % 64)) & 1;
}

bool AddressMatches(const FaultRule& rule, const FaultRequest& request)
{
    if (!rule.addressGiven) {
        return true;
    }
    for (int range = 0; range < request.rangeCount; ++range) {
        if (request.firstAddress[range] <= rule.lastAddress && request.lastAddress[range] >= rule.firstAddress) {
            return true;
        }
    }
    return false;
}

// "127.0.0.1" takes any port of that address, "127.0.0.1:40112" that port alone.
bool PeerMatches(const FaultRule& rule, const char* peerText)
{
    size_t length = std::strlen(rule.peer);
    return length == 0 ||
           (std::strncmp(peerText, rule.peer, length) == 0 && (peerText[length] == ':' || peerText[length] == '\0'));
}

// The conditions that depend on the request alone; every=, after=, count= and probability= are
// decided on the requests that pass these.
bool RequestMatches(const FaultRule& rule, const FaultRequest& request)
{
    return FunctionMatches(rule, request.functionCode) && request.unit >= rule.firstUnit &&
           request.unit <= rule.lastUnit && AddressMatches(rule, request) && PeerMatches(rule, request.peerText);
}

// Counts a matching request and answers whether the rule acts on it. Under FaultRulesLock.
bool RuleActs(FaultRuleEntry* entry)
{
    const FaultRule& rule = entry->rule;
    uint64_t matched = ++entry->matched;
    if (matched <= rule.after || (matched - rule.after) % rule.every != 0) {
        return false;
    }
    if (rule.count != 0 && entry->acted >= rule.count) {
        return false;
    }
    if (rule.probability < 1 && !FaultRandomChance(&FaultRandomSource, rule.probability)) {
        return false;
    }
    ++entry->acted;
    ++ActionCounts[static_cast<int>(rule.action)];
    return true;
}

// The acting rule's choices. Under FaultRulesLock, which keeps the draws in request order.
FaultDecision DecisionOf(const FaultRuleEntry& entry)
{
    const FaultRule& rule = entry.rule;
    FaultDecision decision{rule.action, entry.id, rule.value, rule.secondValue, 0};
    if (rule.action == FaultAction::kDelay && rule.secondValue > rule.value) {
        decision.value = FaultRandomBetween(&FaultRandomSource, rule.value, rule.secondValue);
    }
    if (rule.action == FaultAction::kGarbage) {
        decision.noise = NextFaultRandom(&FaultRandomSource);
    }
    return decision;
}

}  // namespace

void SeedFaultRules(uint64_t seed)
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    FaultSeed = seed;
    FaultRandomSource.state = seed;
    SeedChosen = true;
    SeedLogged = false;
}

uint64_t ChooseFaultSeed()
{
    std::random_device device;
    return (uint64_t{device()} << 32) | device();
}

uint32_t AddFaultRule(const std::string& text, std::string* problem, bool quietly)
{
    FaultRule rule;
    if (!ParseFaultRule(text, &rule, problem)) {
        return 0;
    }
    uint32_t id = 0;
    bool logSeed = false;
    uint64_t seed = 0;
    {
        std::lock_guard<std::mutex> hold(FaultRulesLock);
        if (EntryCount == kMaxFaultRules) {
            *problem = "there are already " + std::to_string(kMaxFaultRules) + " fault rules, the most there can be";
            return 0;
        }
        if (!SeedChosen) {
            FaultSeed = ChooseFaultSeed();
            FaultRandomSource.state = FaultSeed;
            SeedChosen = true;
        }
        logSeed = !SeedLogged && !quietly;
        SeedLogged = SeedLogged || !quietly;
        seed = FaultSeed;
        id = NextRuleId++;
        FaultRuleEntries[EntryCount++] = FaultRuleEntry{id, rule, 0, 0};
        FaultRuleCount.store(EntryCount, std::memory_order_relaxed);
    }
    if (logSeed) {
        LogEvent("Fault rules seeded with %" PRIu64, seed);
    }
    if (!quietly) {
        LogEvent("Fault rule %" PRIu32 " added: %s", id, rule.text);
    }
    return id;
}

void LogFaultRules()
{
    FaultRuleView views[kMaxFaultRules];
    uint64_t seed = 0;
    int count = 0;
    {
        std::lock_guard<std::mutex> hold(FaultRulesLock);
        seed = FaultSeed;
        SeedLogged = SeedLogged || EntryCount > 0;
    }
    count = CopyFaultRules(views);
    if (count == 0) {
        return;
    }
    LogEvent("Fault rules seeded with %" PRIu64, seed);
    for (int index = 0; index < count; ++index) {
        LogEvent("Fault rule %" PRIu32 ": %s", views[index].id, views[index].text);
    }
}

bool RemoveFaultRule(uint32_t id)
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    for (int index = 0; index < EntryCount; ++index) {
        if (FaultRuleEntries[index].id == id) {
            for (int later = index + 1; later < EntryCount; ++later) {
                FaultRuleEntries[later - 1] = FaultRuleEntries[later];
            }
            --EntryCount;
            FaultRuleCount.store(EntryCount, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

void ClearFaultRules()
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    EntryCount = 0;
    FaultRuleCount.store(0, std::memory_order_relaxed);
}

int CopyFaultRules(FaultRuleView* views)
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    for (int index = 0; index < EntryCount; ++index) {
        const FaultRuleEntry& entry = FaultRuleEntries[index];
        views[index].id = entry.id;
        std::memcpy(views[index].text, entry.rule.text, sizeof views[index].text);
        views[index].matched = entry.matched;
        views[index].acted = entry.acted;
    }
    return EntryCount;
}

void CopyFaultActionCounts(uint64_t counts[kFaultActionCount])
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    std::memcpy(counts, ActionCounts, sizeof ActionCounts);
}

FaultDecision DecideFault(const FaultRequest& request)
{
    std::lock_guard<std::mutex> hold(FaultRulesLock);
    for (int index = 0; index < EntryCount; ++index) {
        FaultRuleEntry* entry = &FaultRuleEntries[index];
        if (RequestMatches(entry->rule, request) && RuleActs(entry)) {
            return DecisionOf(*entry);
        }
    }
    return FaultDecision{FaultAction::kNone, 0, 0, 0, 0};
}
