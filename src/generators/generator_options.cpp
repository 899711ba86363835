#include "generators/generator_options.h"

#include "generators/generators.h"

bool IsGeneratorOption(const std::string& option)
{
    return option == "--generate";
}

bool ParseGeneratorOption(const std::string& value, GeneratorOptions* options, std::string* problem)
{
    Generator generator;
    std::string why;
    if (!ParseGenerator(value, &generator, &why)) {
        *problem = "--generate: " + why;
        return false;
    }
    if (options->texts.size() == kMaxGeneratorCount) {
        *problem = "--generate: at most " + std::to_string(kMaxGeneratorCount) + " generators";
        return false;
    }
    options->texts.push_back(value);
    return true;
}

void ApplyGeneratorOptions(const GeneratorOptions& options)
{
    for (const std::string& text : options.texts) {
        std::string problem;
        AddGenerator(text, &problem, true);   // already read once: it cannot be refused now
    }
}

const char* GeneratorOptionsUsage()
{
    return "  --generate TEXT         keep a value changing while the server runs: TABLE ADDRESS TYPE KIND\n"
           "                          [key=value ...], e.g. \"input-registers 0 float32 sine amplitude=10\n"
           "                          offset=20 period=60s\" or \"registers 5 uint16 counter period=100ms\";\n"
           "                          repeatable (see README, \"Generated values\")\n";
}
