#pragma once

#include <cstdint>
#include <string>

// One fault rule as the operator writes it, on the command line, through the control interface and
// in the console alike:
//
//     ACTION[=VALUE] [CONDITION ...]
//
// read once into this fixed record, so that deciding a request's fault never parses or allocates.

enum class FaultAction : uint8_t {
    kNone,        // no rule acts: the request is served as always
    kDelay,       // delay=MS or delay=MIN-MAX
    kDrop,        // drop: no response at all
    kClose,       // close: the connection ends without a response
    kException,   // exception=N instead of executing
    kCorrupt,     // corrupt=FIELD
    kTruncate,    // truncate=N
    kSplit,       // split=N[/MS]
    kGarbage,     // garbage=N
};

inline constexpr int kFaultActionCount = 9;   // kNone included

// The action's name as rules write it, e.g. "delay"; "none" for kNone.
const char* FaultActionName(FaultAction action);

// The response field that corrupt= makes wrong.
enum class CorruptField : uint8_t { kTransactionId, kProtocolId, kLength, kUnitId, kFunction, kByteCount };

// The longest rule text kept, with its terminator: ample for every condition at once.
inline constexpr int kFaultRuleTextSize = 192;
// "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535" and the terminator.
inline constexpr int kFaultPeerTextSize = 54;
inline constexpr uint32_t kMaxFaultDelayMilliseconds = 3600000;   // an hour
inline constexpr uint32_t kMaxFaultSplitPauseMilliseconds = 60000;
inline constexpr uint32_t kDefaultFaultSplitPauseMilliseconds = 10;
inline constexpr uint32_t kMaxFaultPieceBytes = 259;   // one byte short of the longest ADU
inline constexpr uint32_t kMaxFaultGarbageBytes = 1024;
inline constexpr uint32_t kMaxFaultCounter = 1000000000;   // every=, after=, count=

struct FaultRule {
    FaultAction action;
    // delay: the least milliseconds; exception: the code; corrupt: the CorruptField; truncate, split,
    // garbage: the byte count.
    uint32_t value;
    // delay: the most milliseconds (equal to value for a fixed delay); split: the pause between pieces.
    uint32_t secondValue;
    // Conditions; a condition not given holds for every request.
    uint64_t functionCodes[2];   // bit N: code N may match; all set when fc= is not given
    bool addressGiven;
    uint16_t firstAddress;
    uint16_t lastAddress;
    uint8_t firstUnit;
    uint8_t lastUnit;
    char peer[kFaultPeerTextSize];   // "" any; "127.0.0.1" or "[::1]" any port; with ":PORT" that one
    uint32_t every;                  // 1: every matching request
    uint32_t after;                  // 0: from the first
    uint32_t count;                  // 0: no limit
    double probability;              // 1: always
    char text[kFaultRuleTextSize];   // the rule as read, its words one blank apart
};

// Reads one rule. False, with *problem naming the word it could not read and why, for an unknown
// action or condition, a missing or unreadable value, a number out of range, MIN above MAX, a
// probability outside 0 to 1 or a condition given twice; *rule is then left unusable.
bool ParseFaultRule(const std::string& text, FaultRule* rule, std::string* problem);

// The field's name as corrupt= takes it, e.g. "transaction-id".
const char* CorruptFieldName(CorruptField field);
