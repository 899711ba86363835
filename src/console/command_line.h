#pragma once

#include <cstdint>
#include <string>

#include "control/control_options.h"
#include "faults/fault_options.h"
#include "generators/generator_options.h"

// Where the console's server listens, and its remote control; the same options as the headless
// server's.
struct ConsoleOptions {
    std::string bindAddress;   // IPv4 or IPv6 address
    uint16_t port;
    ControlOptions control;
    bool standardLimits = false;   // --standard-limits
    std::string captureFile{};     // --capture; empty: no capture
    FaultOptions faults{};         // --fault, --fault-seed
    GeneratorOptions generators{};   // --generate
};

enum class CommandLineAction { Run, ShowHelp, ShowVersion, Fail };

// Reads --port N, --bind ADDRESS, --standard-limits, --capture FILE, the control, fault and generator options (each also as --name=VALUE), --help and
// --version.
// Unset options keep the defaults 502 and 0.0.0.0. On Fail, *error says what was wrong.
CommandLineAction ParseCommandLine(int argc, const char* const* argv, ConsoleOptions* options, std::string* error);

// The usage text for --help and for errors.
const char* CommandLineUsage();
