#include "faults/fault_options.h"

#include <charconv>

#include "faults/fault_rules.h"

bool IsFaultOption(const std::string& option)
{
    return option == "--fault" || option == "--fault-seed";
}

bool ParseFaultOption(const std::string& option, const std::string& value, FaultOptions* options,
                      std::string* problem)
{
    if (option == "--fault-seed") {
        const char* end = value.data() + value.size();
        auto [stop, error] = std::from_chars(value.data(), end, options->seed);
        if (value.empty() || value[0] == '+' || error != std::errc() || stop != end) {
            *problem = "--fault-seed needs a number from 0 to 18446744073709551615, got '" + value + "'";
            return false;
        }
        options->seedGiven = true;
        return true;
    }
    FaultRule rule;
    std::string why;
    if (!ParseFaultRule(value, &rule, &why)) {
        *problem = "--fault: " + why;
        return false;
    }
    if (options->rules.size() == kMaxFaultRules) {
        *problem = "--fault: at most " + std::to_string(kMaxFaultRules) + " rules";
        return false;
    }
    options->rules.push_back(value);
    return true;
}

void ApplyFaultOptions(const FaultOptions& options)
{
    SeedFaultRules(options.seedGiven ? options.seed : ChooseFaultSeed());
    for (const std::string& text : options.rules) {
        std::string problem;
        AddFaultRule(text, &problem, true);   // already read once: it cannot be refused now
    }
}

const char* FaultOptionsUsage()
{
    return "  --fault RULE            misbehave on purpose: ACTION[=VALUE] [CONDITION ...], e.g.\n"
           "                          \"delay=200-400 fc=3\" or \"exception=6 unit=1 every=5\"; repeatable, the\n"
           "                          first rule that matches a request acts (see README, \"Faults\")\n"
           "  --fault-seed N          seed the rules' random choices, so that they repeat exactly\n"
           "                          (default: chosen at start and logged)\n";
}
