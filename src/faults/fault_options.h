#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fault options both programs take: --fault RULE (repeatable) and --fault-seed N.
struct FaultOptions {
    std::vector<std::string> rules;
    bool seedGiven = false;
    uint64_t seed = 0;
};

// True for --fault and --fault-seed, which take a value.
bool IsFaultOption(const std::string& option);

// Reads one option's value into *options; false with *problem in one line naming the option and the
// word it could not read.
bool ParseFaultOption(const std::string& option, const std::string& value, FaultOptions* options,
                      std::string* problem);

// Seeds the rules' random source and adds the rules in order, without a log line: before the server
// starts, and perhaps before the log has its target; LogFaultRules shows them once it has.
void ApplyFaultOptions(const FaultOptions& options);

// The options' lines for --help, ending in a newline.
const char* FaultOptionsUsage();
