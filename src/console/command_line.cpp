#include "console/command_line.h"

#include "server/listen_options.h"
#include "server/server_control.h"

namespace {

// Splits "--name=value" into name and value; answers false for a bare "--name".
bool SplitInlineValue(const std::string& argument, std::string* name, std::string* value)
{
    const std::string::size_type equals = argument.find('=');
    if (equals == std::string::npos) {
        *name = argument;
        return false;
    }
    *name = argument.substr(0, equals);
    *value = argument.substr(equals + 1);
    return true;
}

}  // namespace

CommandLineAction ParseCommandLine(int argc, const char* const* argv, ConsoleOptions* options, std::string* error)
{
    options->bindAddress = kDefaultBindAddress;
    options->port = kDefaultModbusPort;
    options->standardLimits = false;
    options->faults = FaultOptions{};
    options->generators = GeneratorOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return CommandLineAction::ShowHelp;
        }
        if (argument == "--version") {
            return CommandLineAction::ShowVersion;
        }
        if (argument == "--standard-limits") {
            options->standardLimits = true;
            continue;
        }
        std::string name;
        std::string value;
        if (!SplitInlineValue(argument, &name, &value)) {
            if (name != "--port" && name != "--bind" && name != "--capture" && !IsControlOption(name) &&
                !IsFaultOption(name) && !IsGeneratorOption(name)) {
                *error = "unknown option '" + argument + "'";
                return CommandLineAction::Fail;
            }
            if (i + 1 >= argc) {
                *error = "option '" + name + "' needs a value";
                return CommandLineAction::Fail;
            }
            value = argv[++i];
        }
        if (IsControlOption(name)) {
            if (!ParseControlOption(name, value, &options->control, error)) {
                return CommandLineAction::Fail;
            }
        } else if (IsFaultOption(name)) {
            if (!ParseFaultOption(name, value, &options->faults, error)) {
                return CommandLineAction::Fail;
            }
        } else if (IsGeneratorOption(name)) {
            if (!ParseGeneratorOption(value, &options->generators, error)) {
                return CommandLineAction::Fail;
            }
        } else if (name == "--port") {
            if (!ParseListenPort(value, &options->port)) {
                *error = "invalid port '" + value + "': expected a number from 0 to 65535";
                return CommandLineAction::Fail;
            }
        } else if (name == "--bind") {
            if (!IsBindAddress(value)) {
                *error = "invalid address '" + value + "': expected an IPv4 address such as 127.0.0.1 or an IPv6 one such as ::1";
                return CommandLineAction::Fail;
            }
            options->bindAddress = value;
        } else if (name == "--capture") {
            if (value.empty()) {
                *error = "option '--capture' needs a file name";
                return CommandLineAction::Fail;
            }
            options->captureFile = value;
        } else {
            *error = "unknown option '" + argument + "'";
            return CommandLineAction::Fail;
        }
    }
    // A state file sets the limits itself, through its config.
    if (options->standardLimits && !options->control.loadFile.empty()) {
        *error = "--load takes the limits from its file: leave out --standard-limits, or set \"standardLimits\": "
                 "true in the file's config";
        return CommandLineAction::Fail;
    }
    if (!CheckControlOptions(options->control, error)) {
        return CommandLineAction::Fail;
    }
    return CommandLineAction::Run;
}

const char* CommandLineUsage()
{
    static const std::string usage =
        "Usage: parvane [--port N] [--bind ADDRESS] [--http ADDRESS:PORT [--http-token-file FILE]]\n"
        "               [--load FILE] [--save FILE] [--standard-limits] [--capture FILE]\n"
        "               [--fault RULE ...] [--fault-seed N] [--generate TEXT ...]\n"
        "Modbus/TCP test server with its operator console.\n"
        "\n"
        "  --port N                TCP port to listen on (default 502; 0: any free port, shown in\n"
        "                          the title)\n"
        "  --bind ADDRESS          local IPv4 or IPv6 address to listen on (default 0.0.0.0;\n"
        "                          :: for all, IPv4 too where the system allows; ::1 for loopback)\n"
        "  --standard-limits       the Modbus application protocol's write limits (15: 1968 coils,\n"
        "                          16: 123 and 23: 121 registers; default 800, 100, 100) and its code 23\n"
        "                          order, write then read (default: read then write)\n"
        "  --capture FILE          write every connection's traffic into FILE as a pcap capture that\n"
        "                          Wireshark reads (tshark -d tcp.port==PORT,mbtcp)\n" +
        std::string(ControlOptionsUsage()) + FaultOptionsUsage() + GeneratorOptionsUsage() +
        "  --help                  show this text and exit\n"
        "  --version               show the version and exit\n";
    return usage.c_str();
}
