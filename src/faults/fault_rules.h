#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "faults/fault_rule.h"

// The fault rules in force, in the order they were added, and the decision for one request: the
// first rule whose conditions all hold acts, the rest are skipped. Rules come and go at run time
// (command line, control interface, console); FaultRulesLock guards the set, the counters and the
// random source, and no log line is written while it is held.

inline constexpr int kMaxFaultRules = 32;

// What a request offers the conditions. A request that did not decode, or whose code has no cells,
// has no address ranges, and a rule with address= never holds for it.
struct FaultRequest {
    uint8_t functionCode;
    uint8_t unit;
    int rangeCount;             // 0 to 2 (code 23 reads one run and writes another)
    uint16_t firstAddress[2];
    uint16_t lastAddress[2];
    const char* peerText;       // "127.0.0.1:40112" or "[::1]:40112"
};

// What the acting rule does to this request, its random choices already made.
struct FaultDecision {
    FaultAction action;     // kNone: no rule acts
    uint32_t ruleId;
    uint32_t value;         // delay: the milliseconds drawn; the rule's value otherwise
    uint32_t secondValue;   // split: the pause in milliseconds
    uint64_t noise;         // garbage: the seed of its bytes
};

// One rule as the lists show it.
struct FaultRuleView {
    uint32_t id;
    char text[kFaultRuleTextSize];
    uint64_t matched;   // requests for which its fc, address, unit and peer held
    uint64_t acted;     // requests it acted on
};

// The number of rules in force, kept beside the set so that a request pays one relaxed load when
// there is none: the client thread asks nothing more then.
extern std::atomic<int> FaultRuleCount;

inline bool AreFaultRulesSet()
{
    return FaultRuleCount.load(std::memory_order_relaxed) != 0;
}

// Seeds the random source; before the first rule, so that every choice repeats from run to run.
void SeedFaultRules(uint64_t seed);
// A seed that differs from run to run, for when none is given.
uint64_t ChooseFaultSeed();

// Reads and appends one rule. Its id (from 1, never reused while the process lives), or 0 with
// *problem saying why: a malformed rule (naming the word) or a full set. Logs the rule, and the
// seed before the first rule, unless `quietly` (rules set before the log has its target, which
// LogFaultRules then shows).
uint32_t AddFaultRule(const std::string& text, std::string* problem, bool quietly = false);
// Logs the seed and every rule in force, when there are any.
void LogFaultRules();
// False when no rule has that id.
bool RemoveFaultRule(uint32_t id);
void ClearFaultRules();
// Copies the rules in order into `views`; answers how many there are (at most kMaxFaultRules).
int CopyFaultRules(FaultRuleView* views);

// How often each action has acted since the process started, whatever rules came and went: the
// metrics' counters, which never go down. Indexed by FaultAction.
void CopyFaultActionCounts(uint64_t counts[kFaultActionCount]);

// The decision for one request; counts the rules' matches and acts. The client thread asks only
// while AreFaultRulesSet().
FaultDecision DecideFault(const FaultRequest& request);
