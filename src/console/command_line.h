#pragma once

#include <cstdint>
#include <string>

// Where the console's server listens; the same options as the headless server.
struct ConsoleOptions {
    std::string bindAddress;   // dotted IPv4 address
    uint16_t port;
};

enum class CommandLineAction { Run, ShowHelp, ShowVersion, Fail };

// Reads --port N, --bind ADDRESS (also as --port=N, --bind=ADDRESS), --help and --version.
// Unset options keep the defaults 502 and 0.0.0.0. On Fail, *error says what was wrong.
CommandLineAction ParseCommandLine(int argc, const char* const* argv, ConsoleOptions* options, std::string* error);

// The usage text for --help and for errors.
const char* CommandLineUsage();
