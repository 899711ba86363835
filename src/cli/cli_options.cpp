#include "cli_options.h"

#include <cstring>

#include "platform/socket.h"

namespace {

constexpr uint32_t kTableCells = 65536;
constexpr uint8_t kServedFunctionCodes[] = {1, 3, 5, 6, 15, 16, 22, 23};

// A plain unsigned decimal, at most `maximum`; no sign, no blanks, no other base.
bool ParseUnsigned(const std::string& text, uint32_t maximum, uint32_t* value)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    uint64_t parsed = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(digit - '0');
    }
    if (parsed > maximum) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

// START:SIZE, checked as the Configure Data Areas dialog checks it: size at least 1 and
// start + size at most 65,536.
bool ParseWindow(const std::string& text, uint16_t* first, uint16_t* last, std::string* problem)
{
    size_t colon = text.find(':');
    uint32_t start = 0;
    uint32_t size = 0;
    if (colon == std::string::npos || !ParseUnsigned(text.substr(0, colon), kTableCells - 1, &start) ||
        !ParseUnsigned(text.substr(colon + 1), kTableCells, &size)) {
        *problem = "expected START:SIZE with decimal numbers, got '" + text + "'";
        return false;
    }
    if (size < 1) {
        *problem = "the size must be at least 1";
        return false;
    }
    if (start + size > kTableCells) {
        *problem = "start + size must be at most 65536, got " + std::to_string(start) + " + " + std::to_string(size);
        return false;
    }
    *first = static_cast<uint16_t>(start);
    *last = static_cast<uint16_t>(start + size - 1);
    return true;
}

bool ParseDisabledCodes(const std::string& text, bool* disabled, std::string* problem)
{
    size_t begin = 0;
    for (;;) {
        size_t comma = text.find(',', begin);
        std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        uint32_t code = 0;
        bool served = false;
        if (ParseUnsigned(item, 255, &code)) {
            for (uint8_t servedCode : kServedFunctionCodes) {
                served = served || servedCode == code;
            }
        }
        if (!served) {
            *problem = "'" + item + "' is not one of the function codes 1, 3, 5, 6, 15, 16, 22, 23";
            return false;
        }
        disabled[code] = true;
        if (comma == std::string::npos) {
            return true;
        }
        begin = comma + 1;
    }
}

}  // namespace

const char* CliUsage()
{
    return "Usage: parvane-cli [options]\n"
           "Runs the Parvane Modbus/TCP test server without a window; log lines go to standard output.\n"
           "\n"
           "  --port N                TCP port to listen on, 1 to 65535 (default 502)\n"
           "  --bind ADDRESS          local IPv4 address to listen on (default 0.0.0.0, all)\n"
           "  --registers START:SIZE  holding registers that requests may use (default 0:65536)\n"
           "  --coils START:SIZE      coils that requests may use (default 0:65536)\n"
           "  --disable CODES         switch off function codes, comma-separated (1,3,5,6,15,16,22,23)\n"
           "  --trace                 also print each transaction's request and response in hex\n"
           "  --help                  show this text\n"
           "  --version               show the version\n"
           "\n"
           "Stops in order on SIGINT or SIGTERM and exits 0; exits 1 when the server cannot start or\n"
           "stops abnormally, 2 on a bad option. Ports below 1024 need root or the capability\n"
           "CAP_NET_BIND_SERVICE.\n";
}

CliCommand ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* problem)
{
    for (int index = 1; index < argc; ++index) {
        std::string option = argv[index];
        if (option == "--help" || option == "-h") {
            return CliCommand::kHelp;
        }
        if (option == "--version") {
            return CliCommand::kVersion;
        }
        if (option == "--trace") {
            options->trace = true;
            continue;
        }
        bool takesValue = option == "--port" || option == "--bind" || option == "--registers" ||
                          option == "--coils" || option == "--disable";
        if (!takesValue) {
            *problem = "unknown option '" + option + "'";
            return CliCommand::kBadOption;
        }
        if (index + 1 >= argc) {
            *problem = "option " + option + " needs a value";
            return CliCommand::kBadOption;
        }
        std::string value = argv[++index];
        if (option == "--port") {
            uint32_t port = 0;
            if (!ParseUnsigned(value, 65535, &port) || port == 0) {
                *problem = "--port needs a number from 1 to 65535, got '" + value + "'";
                return CliCommand::kBadOption;
            }
            options->port = static_cast<uint16_t>(port);
        } else if (option == "--bind") {
            if (!IsDottedIpv4(value.c_str())) {
                *problem = "--bind needs a dotted IPv4 address such as 127.0.0.1, got '" + value + "'";
                return CliCommand::kBadOption;
            }
            options->bindAddress = value;
        } else if (option == "--registers") {
            std::string why;
            if (!ParseWindow(value, &options->registerFirst, &options->registerLast, &why)) {
                *problem = "--registers: " + why;
                return CliCommand::kBadOption;
            }
        } else if (option == "--coils") {
            std::string why;
            if (!ParseWindow(value, &options->coilFirst, &options->coilLast, &why)) {
                *problem = "--coils: " + why;
                return CliCommand::kBadOption;
            }
        } else {
            std::string why;
            if (!ParseDisabledCodes(value, options->disabled, &why)) {
                *problem = "--disable: " + why;
                return CliCommand::kBadOption;
            }
        }
    }
    return CliCommand::kRun;
}
