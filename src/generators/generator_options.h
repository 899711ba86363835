#pragma once

#include <string>
#include <vector>

// The option both programs take: --generate TEXT, repeatable.
struct GeneratorOptions {
    std::vector<std::string> texts;
};

bool IsGeneratorOption(const std::string& option);

// Reads one --generate value into *options; false with *problem in one line naming the word it
// could not read.
bool ParseGeneratorOption(const std::string& value, GeneratorOptions* options, std::string* problem);

// Adds the generators in order, without a log line: before the server starts, and perhaps before
// the log has its target; LogGenerators shows them once it has.
void ApplyGeneratorOptions(const GeneratorOptions& options);

// The option's lines for --help, ending in a newline.
const char* GeneratorOptionsUsage();
